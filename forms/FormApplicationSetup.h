// The stored defaults of every new transformation.
#pragma once

#include <QDialog>

#include <memory>
#include <string>

namespace Ui
{
class TfrmApplicationSetup;
}

namespace quorvalis
{

struct GStoredSettings;

/// "Application Setup": every stored default of a run (Lo, constants, exchange and negations,
/// coordinate system, import control tolerance, method, weighting, the user's Helmert values,
/// report and its mode). Created once with the application and reused; it has no behaviour of
/// its own beyond refusing, on Ok, a Lo that is a whole number but not a Lo.
class TfrmApplicationSetup : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmApplicationSetup(QWidget* parent = nullptr);
    ~TfrmApplicationSetup() override;

    /// The values of the controls ("Show Message" is not among them: it keeps the value given
    /// to SetSettings). The Lo edit is plain text: text that is not a whole number reads as 31.
    GStoredSettings Settings() const;
    void SetSettings(const GStoredSettings& settings);
    void accept() override;

protected:
    /// Ok has the focus every time the dialog opens.
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TfrmApplicationSetup> ui_;
    bool showMessage_ = true;
};

/// The setup dialog's Lo text as a whole number; 31 when it is not one.
int LocalOriginText(const std::string& text);

} // namespace quorvalis
