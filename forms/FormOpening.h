// The splash window shown while the application starts.
#pragma once

#include <QWidget>

#include <memory>
#include <string>

namespace Ui
{
class TfrmOpening;
}

namespace quorvalis
{

/// A borderless, always-on-top window of 272 by 270 pixels, centred: the program picture in the
/// upper framed panel, the maker's banner in the lower one.
class TfrmOpening : public QWidget
{
    Q_OBJECT

public:
    explicit TfrmOpening(QWidget* parent = nullptr);
    ~TfrmOpening() override;

    /// Loads the program picture from path; when the file does not exist (or is no picture) the
    /// picture is emptied and the panel shows the file's name without folders in upper case
    /// ("QUORVALIS.BMP").
    void LoadPicture(const std::string& path);
    /// What the upper panel shows in place of a picture (empty while a picture shows).
    QString PictureText() const;
    bool HasPicture() const;

    /// Centres the window on the screen, shows it and paints it at once.
    void ShowAtOnce();

private:
    std::unique_ptr<Ui::TfrmOpening> ui_;
};

} // namespace quorvalis
