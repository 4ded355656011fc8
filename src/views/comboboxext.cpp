#include "views/comboboxext.h"

namespace {
// The hidden value rides in the item's user data, so it moves with the item
// when the list is sorted or edited and cannot drift out of step.
constexpr int kValueRole = Qt::UserRole;
}

TComboBoxExt::TComboBoxExt(QWidget* parent)
    : QComboBox(parent)
{
    setEditable(false);
}

void TComboBoxExt::clearItems()
{
    clear();
}

void TComboBoxExt::addItem(const QString& text, const QString& value)
{
    QComboBox::addItem(text, value);
}

int TComboBoxExt::itemCount() const
{
    return count();
}

void TComboBoxExt::selectIndex(int index)
{
    setCurrentIndex(index >= 0 && index < count() ? index : -1);
}

bool TComboBoxExt::selectValue(const QString& value)
{
    const int index = findData(value, kValueRole, Qt::MatchExactly);
    if (index >= 0)
        setCurrentIndex(index);
    return index >= 0;
}

QString TComboBoxExt::selectedValue() const
{
    return valueAt(currentIndex());
}

QString TComboBoxExt::valueAt(int index) const
{
    if (index < 0 || index >= count())
        return {};
    return itemData(index, kValueRole).toString();
}
