#pragma once

// TComboBoxExt: a drop-down list whose items each carry a hidden value
// string (port number, pack address, sensor number, enumerated parameter
// value). The core fills and reads it through IComboList, so the same
// filling code serves this widget and the command line's in-memory list.
//
//   addItem(text, value)   appends an item with its hidden value
//   selectValue(value)     selects the first item carrying value
//   selectedValue()        hidden value of the selected item, empty if none
//   selectIndex(-1)        clears the selection

#include "protocol/combo_list.h"

#include <QComboBox>

class TComboBoxExt : public QComboBox, public IComboList {
    Q_OBJECT
public:
    explicit TComboBoxExt(QWidget* parent = nullptr);

    void clearItems() override;
    void addItem(const QString& text, const QString& value) override;
    int itemCount() const override;
    void selectIndex(int index) override;
    bool selectValue(const QString& value) override;
    QString selectedValue() const override;

    // Hidden value of item index; empty outside the list.
    QString valueAt(int index) const;
};
