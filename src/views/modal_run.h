#pragma once

// The modal run of a dialog, replaceable by tests: one hook per dialog
// class, which gets the shown dialog and answers it by its controls instead
// of a modal loop. A dialog the hook leaves open is rejected.

#include <QDialog>

#include <functional>
#include <utility>

template <typename Dialog>
class TModalRun {
public:
    using Hook = std::function<void(Dialog&)>;

    // Replaces the hook (an empty one restores exec()) and returns the
    // previous one.
    static Hook SetHook(Hook hook) { return std::exchange(Current(), std::move(hook)); }

    // Shows the dialog centred on the window that opened it, modally or
    // through the hook.
    static void Run(Dialog& dialog)
    {
        if (QWidget* opener = dialog.parentWidget()) {
            dialog.adjustSize();
            dialog.move(opener->window()->geometry().center() - dialog.rect().center());
        }
        if (const Hook& hook = Current()) {
            dialog.show();
            hook(dialog);
            if (dialog.isVisible())
                dialog.reject();
            return;
        }
        dialog.exec();
    }

private:
    static Hook& Current()
    {
        static Hook hook;
        return hook;
    }
};
