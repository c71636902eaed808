// The hook through which the data-source factories show the dialogs of the user-interface layer.
#pragma once

#include <functional>
#include <mutex>
#include <utility>

namespace quorvalis
{

/// The dialog installed for one kind of data-source settings (one hook per settings type). The
/// user-interface layer installs it; the factories of the record sets show it.
template <class Settings> class GDataSourceDialogHook
{
public:
    using Dialog = std::function<bool(Settings& settings)>;

    static GDataSourceDialogHook& Instance()
    {
        static GDataSourceDialogHook hook;
        return hook;
    }

    /// Installs dialog; an empty function removes it.
    void Install(Dialog dialog)
    {
        std::lock_guard lock(mutex_);
        dialog_ = std::move(dialog);
    }

    /// Shows the installed dialog on settings; true on OK. Without a dialog the request counts as
    /// cancelled. The dialog runs outside the lock, so that it may install another.
    bool Show(Settings& settings)
    {
        Dialog dialog;
        {
            std::lock_guard lock(mutex_);
            dialog = dialog_;
        }
        return dialog && dialog(settings);
    }

    /// Show for settings whose ReadOnly the caller may forbid changing (ReadOnlyEditable false):
    /// the ReadOnly given is then kept, whatever the dialog gives back.
    bool ShowKeepingReadOnly(Settings& settings)
    {
        const bool readOnly = settings.ReadOnly;
        const bool editable = settings.ReadOnlyEditable;
        if (!Show(settings))
            return false;
        if (!editable)
            settings.ReadOnly = readOnly;
        return true;
    }

private:
    std::mutex mutex_;
    Dialog dialog_;
};

} // namespace quorvalis
