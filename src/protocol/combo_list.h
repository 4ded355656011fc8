#pragma once

#include <QString>
#include <QStringList>

// A selection list with a hidden value string beside each item: what the
// port, pack and sensor selectors offer. The core fills it through this
// interface; the widget front end implements it with a combo box.
class IComboList {
public:
    virtual ~IComboList() = default;
    virtual void clearItems() = 0;
    virtual void addItem(const QString& text, const QString& value) = 0;
    virtual int itemCount() const = 0;
    virtual void selectIndex(int index) = 0;
    // Selects the item whose hidden value equals value; false if none has it.
    virtual bool selectValue(const QString& value) = 0;
    // Hidden value of the selected item; empty when nothing is selected.
    virtual QString selectedValue() const = 0;
};

// A plain in-memory list, for the command line and tests.
class ComboList final : public IComboList {
public:
    void clearItems() override { m_texts.clear(); m_values.clear(); m_selected = -1; }
    void addItem(const QString& text, const QString& value) override { m_texts.append(text); m_values.append(value); }
    int itemCount() const override { return int(m_texts.size()); }
    void selectIndex(int index) override { m_selected = (index >= 0 && index < itemCount()) ? index : -1; }
    bool selectValue(const QString& value) override
    {
        const int index = int(m_values.indexOf(value));
        if (index >= 0)
            m_selected = index;
        return index >= 0;
    }
    QString selectedValue() const override { return m_selected >= 0 ? m_values.at(m_selected) : QString(); }
    int selectedIndex() const { return m_selected; }
    const QStringList& texts() const { return m_texts; }
    const QStringList& values() const { return m_values; }

private:
    QStringList m_texts;
    QStringList m_values;
    int m_selected = -1;
};
