#pragma once

#include "submit/core/run_controller.h"

// Run inputs set up by the test: the validation lines, the current engine list and the
// submission list it builds into.
class FakeRunInputs final : public RunInputs {
public:
    QStringList validationLines() const override { return missingFields; }
    bool currentListEmpty() const override { return list.Count == 0; }
    Submit_Type buildSubmissionList() override {
        ++buildCount;
        return list;
    }
    // The engines of the current list with these titles, in the order given.
    Submit_Type buildSubmissionList(const QStringList& titles) override {
        ++buildCount;
        Submit_Type chosen;
        for (const QString& title : titles) {
            for (const Submit_Data& entry : list.Items) {
                if (entry.Title == title) {
                    chosen.Items.append(entry);
                    break;
                }
            }
        }
        chosen.Count = static_cast<qint32>(chosen.Items.size());
        return chosen;
    }
    QString profilePath() const override { return profile; }
    QString siteUrl() const override { return site; }

    // Appends one engine to the current list.
    void addEngine(const QString& title, const QString& url) {
        list.Items.append(Submit_Data{url, title});
        list.Count = static_cast<qint32>(list.Items.size());
    }

    QStringList missingFields;
    Submit_Type list;
    int buildCount = 0;
    QString profile;
    QString site;
};
