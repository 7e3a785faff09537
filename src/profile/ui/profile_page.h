#pragma once

#include "profile/core/profile_snapshot.h"

#include <QGroupBox>

// A page of profile fields (Contact Info, Site Info): it copies its own fields into and out of
// ProfileFields and reports every change of a field's text.
class ProfilePage : public QGroupBox {
    Q_OBJECT

public:
    using QGroupBox::QGroupBox;

    // Copies the page's fields into fields (members of other pages are left alone).
    virtual void readFields(ProfileFields& fields) const = 0;
    // Sets the page's fields from fields.
    virtual void setFields(const ProfileFields& fields) = 0;
    // Empties every field of the page.
    void clearFields() { setFields(ProfileFields()); }

signals:
    // A field's text changed, typed or set by the program.
    void modified();
};
