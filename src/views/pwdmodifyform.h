#pragma once

// TPwdModifyForm: the modal dialog in which the user replaces the password
// that unlocks the write controls. It only checks the input and hands the
// new password back; the caller stores it.
//
//   Run()           shows the dialog modally (or hands it to the test hook)
//   NewPassword()   the accepted new password, trimmed, 6 to 20 characters;
//                   empty unless the dialog was closed with a successful OK
//
// Checks of OK, in order: the old password (trimmed) equals the stored one
// ("wrong password", only the old field emptied); a new password is given;
// it has at least six characters and at most the 20 the store keeps (the
// fields take more, so that a longer one, typed or pasted, is refused with
// the limit instead of being cut); the repeat matches after the same
// trimming (both new fields emptied). Each failure keeps the dialog open.

#include "services/password_store.h"

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

class TPwdModifyForm : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxPasswordLength = kSavedPasswordLength;
    static constexpr int kMinPasswordLength = 6;
    // What each field takes: more than a password may have.
    static constexpr int kFieldLength = 64;

    // storedPassword: what the old password is compared with.
    explicit TPwdModifyForm(const QString& storedPassword, QWidget* parent = nullptr);

    void ApplyLanguage();
    void Run();
    QString NewPassword() const { return m_newPassword; }

    void BtnOkClick();
    void BtnCancelClick();

    // Tests replace the modal loop: the hook gets the shown dialog and
    // answers it by clicking its buttons. An empty hook restores exec().
    using ExecHook = std::function<void(TPwdModifyForm&)>;
    static ExecHook SetExecHook(ExecHook hook);

    // Any close but a successful OK (Cancel, Escape, the window system)
    // hands back no password.
    void done(int result) override;

private:
    QString m_storedPassword;
    QString m_newPassword;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QPushButton* BtnOk = nullptr;
    QPushButton* BtnCancel = nullptr;
};
