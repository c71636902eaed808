// The control file manager: every control coordinate in a grid, edited in place or through the
// coordinate entry dialogs, found by name and deleted.
#pragma once

#include <QDialog>

#include <memory>
#include <string>

namespace Ui
{
class TfrmControlFileManager;
}

namespace quorvalis
{

class GBorlandRecordSet;
class GDataSetModel;
class GFindDialog;
class TfrmGeodeticCoordinate;
class TfrmGeographicCoordinate;

/// "Control File Manager" over the table "control.db" of the database QUORVALIS (the embedded
/// store or a PostgreSQL database an office shares): the grid dbgControlCoordinates with its
/// navigator, and the commands Add Geodetic, Add Geographic, Edit, Delete, Find and Done.
///
/// Execute opens the table and shows the window modally; closing it posts an edit in progress
/// and closes the table. Every post and delete is made permanent at once (the record set holds
/// posts until its flush). An edit the store refuses (a read-only control file, a lost
/// connection, a row another user changed since it was read) shows "Coordinate <name> was not
/// saved." (or "deleted") with the store's reason; the change is dropped and the table read
/// anew, so the grid shows the row as it is in the store. Before every command an edit in
/// progress in the grid is posted.
///
/// Find searches downwards from the first record (after Find) or from the record after the
/// current one (each further Find Next), comparing "Name" with the text in upper case unless
/// "Match case", whole names only with "Match whole word only"; without a match it shows
/// "Coordinate <text> not found in control file." and stays at the last record.
class TfrmControlFileManager : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmControlFileManager(QWidget* parent = nullptr);
    ~TfrmControlFileManager() override;

    /// The long-lived coordinate entry dialogs (not owned); without them the manager makes its
    /// own.
    void SetCoordinateDialogs(TfrmGeodeticCoordinate* geodetic,
                              TfrmGeographicCoordinate* geographic);
    TfrmGeodeticCoordinate& GeodeticDialog();
    TfrmGeographicCoordinate& GeographicDialog();
    GFindDialog& FindDialog() { return *find_; }
    GDataSetModel& Model() { return *model_; }

    /// Opens the control table and shows the window modally (the result of exec); a table that
    /// cannot be opened is shown in an error box and the window does not open (Rejected).
    int Execute();
    /// Opens the table without showing the window (what Execute does first); raises the store's
    /// reason.
    void OpenTable();
    void CloseTable();

    // The commands of the buttons; each shows what fails in an error box.
    void AddGeodetic();
    void AddGeographic();
    void EditCoordinate();
    void DeleteCoordinate();
    void Find();
    /// The find dialog's Find Next.
    void FindNext();

    void done(int result) override;

private:
    void PostPending();
    void Reopen(int record);
    void MakePermanent(const char* verb);
    bool ConfirmDelete();
    void Command(void (TfrmControlFileManager::*step)());
    void DoAddGeodetic();
    void DoAddGeographic();
    void DoEdit();
    void DoDelete();
    void DoFind();
    void DoFindNext();

    std::unique_ptr<Ui::TfrmControlFileManager> ui_;
    std::unique_ptr<GDataSetModel> model_;
    std::unique_ptr<GBorlandRecordSet> recordSet_;
    std::unique_ptr<GFindDialog> find_;
    TfrmGeodeticCoordinate* geodetic_ = nullptr;
    TfrmGeographicCoordinate* geographic_ = nullptr;
    std::unique_ptr<TfrmGeodeticCoordinate> ownGeodetic_;
    std::unique_ptr<TfrmGeographicCoordinate> ownGeographic_;
    std::string pendingName_; // the coordinate a flush makes permanent
    bool fromStart_ = true;
};

inline constexpr char kControlTableName[] = "control.DB";

} // namespace quorvalis
