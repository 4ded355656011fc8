#include "views/pwdmodifyform.h"

#include "services/text_ids.h"
#include "services/text_table.h"
#include "services/textoper.h"
#include "views/message_boxes.h"
#include "views/modal_run.h"
#include "views/password_echo.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <utility>

namespace {

QString Text(std::uint16_t id)
{
    return TTextOper().GetLanguageText(id);
}

} // namespace

TPwdModifyForm::TPwdModifyForm(const QString& storedPassword, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , m_storedPassword(storedPassword)
{
    setObjectName(QStringLiteral("PwdModifyForm"));
    setModal(true);
    auto* grid = new QGridLayout(this);
    auto addRow = [this, grid](int row, const char* labelName, const char* editName) {
        auto* label = new QLabel(this);
        label->setObjectName(QLatin1String(labelName));
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QLatin1String(editName));
        edit->setMaxLength(kFieldLength);
        ShowPasswordAsStars(edit);
        grid->addWidget(label, row, 0);
        grid->addWidget(edit, row, 1);
        return std::pair(label, edit);
    };
    std::tie(Label1, Edit1) = addRow(0, "Label1", "Edit1");
    std::tie(Label2, Edit2) = addRow(1, "Label2", "Edit2");
    std::tie(Label3, Edit3) = addRow(2, "Label3", "Edit3");
    BtnOk = new QPushButton(this);
    BtnOk->setObjectName(QStringLiteral("BtnOk"));
    BtnOk->setDefault(true);
    BtnCancel = new QPushButton(this);
    BtnCancel->setObjectName(QStringLiteral("BtnCancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BtnOk);
    buttons->addWidget(BtnCancel);
    grid->addLayout(buttons, 3, 0, 1, 2);
    connect(BtnOk, &QPushButton::clicked, this, &TPwdModifyForm::BtnOkClick);
    connect(BtnCancel, &QPushButton::clicked, this, &TPwdModifyForm::BtnCancelClick);

    // FormCreate.
    ApplyLanguage();
    Edit1->clear();
    Edit2->clear();
    Edit3->clear();
    m_newPassword.clear();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void TPwdModifyForm::ApplyLanguage()
{
    setWindowTitle(Text(TextId::kPasswordDialogTitle));
    Label1->setText(Text(TextId::kOldPassword));
    Label2->setText(Text(TextId::kNewPassword));
    Label3->setText(Text(TextId::kRepeatNewPassword));
    BtnOk->setText(Text(TextId::kOk));
    BtnCancel->setText(Text(TextId::kCancel));
}

TPwdModifyForm::ExecHook TPwdModifyForm::SetExecHook(ExecHook hook)
{
    return TModalRun<TPwdModifyForm>::SetHook(std::move(hook));
}

void TPwdModifyForm::Run()
{
    TModalRun<TPwdModifyForm>::Run(*this);
}

void TPwdModifyForm::BtnOkClick()
{
    if (TrimText(Edit1->text()) != m_storedPassword) {
        MessageBoxes::Inform(this, Text(TextId::kWrongPassword));
        Edit1->clear();
        return;
    }
    const QString newPassword = TrimText(Edit2->text());
    if (newPassword.isEmpty()) {
        MessageBoxes::Inform(this, Text(TextId::kEnterNewPassword));
        return;
    }
    if (newPassword.size() < kMinPasswordLength) {
        MessageBoxes::Inform(this, Text(TextId::kPasswordTooShort));
        return;
    }
    if (newPassword.size() > kMaxPasswordLength) {
        MessageBoxes::Inform(this, Text(TextId::kPasswordTooLong).arg(kMaxPasswordLength));
        return;
    }
    if (TrimText(Edit3->text()) != newPassword) {
        MessageBoxes::Inform(this, Text(TextId::kPasswordsDiffer));
        Edit2->clear();
        Edit3->clear();
        return;
    }
    m_newPassword = newPassword;
    accept();
}

void TPwdModifyForm::BtnCancelClick()
{
    m_newPassword.clear();
    reject();
}

void TPwdModifyForm::done(int result)
{
    if (result != QDialog::Accepted)
        m_newPassword.clear();
    QDialog::done(result);
}
