// The data source dialog of text files described by a definition file.
#pragma once

#include <QDialog>

#include <memory>
#include <string>

namespace Ui
{
class TfrmTextFileDataSource;
}

namespace quorvalis
{

struct GTextFileDataSourceSettings;

/// "Text File DataSource": the text file and its definition file (each shown shortened in its
/// panel, chosen with its browse button), the read-only box and the X, Y and Z field boxes, which
/// offer the definition's integer and float fields in definition order and accept typed text.
/// Ok is enabled exactly when both files exist and the definition could be read.
class TfrmTextFileDataSource : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmTextFileDataSource(QWidget* parent = nullptr);
    ~TfrmTextFileDataSource() override;

    /// Preset from the factory's settings; read back after Ok.
    void SetSettings(const GTextFileDataSourceSettings& settings);
    GTextFileDataSourceSettings Settings() const;

    const std::string& TextFileName() const { return textFileName_; }
    const std::string& DefinitionFileName() const { return definitionFileName_; }
    /// Each stores the name and refreshes: the field boxes are emptied (items and text), the
    /// panels show the names, Ok is enabled when both files exist, and then the definition's
    /// numeric fields fill the boxes. A definition that cannot be read shows its error and keeps
    /// Ok disabled.
    void SetTextFileName(const std::string& fileName);
    void SetDefinitionFileName(const std::string& fileName);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Refresh();
    void ShowPaths();
    void BrowseTextFile();
    void BrowseDefinitionFile();

    std::unique_ptr<Ui::TfrmTextFileDataSource> ui_;
    std::string textFileName_;
    std::string definitionFileName_;
};

/// The factory's dialog: shows the settings, gives them back on Ok.
bool ShowTextFileDataSourceDialog(GTextFileDataSourceSettings& settings);

} // namespace quorvalis
