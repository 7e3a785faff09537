#include "common/ui/typed_text_combo_box.h"

#include <QComboBox>
#include <QCompleter>
#include <QLineEdit>

#include <memory>

void keepTypedText(QComboBox* box) {
    auto* edit = new QLineEdit(box);
    // The box gives a line edit without a completer one of its own over all its items, only for
    // it to be removed below: one over no items is much cheaper to make and remove.
    edit->setCompleter(new QCompleter(edit));
    // Slots run in the order they were connected: these run before the box's own reaction to
    // the line edit's signals, which setLineEdit() connects, and the ones below run after it.
    const auto wasBlocked = std::make_shared<bool>(false);
    const auto block = [box, wasBlocked] {
        *wasBlocked = box->blockSignals(true);
    };
    const auto unblock = [box, wasBlocked] {
        box->blockSignals(*wasBlocked);
    };
    QObject::connect(edit, &QLineEdit::returnPressed, box, block);
    QObject::connect(edit, &QLineEdit::editingFinished, box, block);
    box->setLineEdit(edit);
    QObject::connect(edit, &QLineEdit::returnPressed, box, unblock);
    QObject::connect(edit, &QLineEdit::editingFinished, box, unblock);
    box->setCompleter(nullptr);
    box->setInsertPolicy(QComboBox::NoInsert);
}
