// GFloatEdit: the single-line number edit of every parameter and coordinate dialog.
#pragma once

#include <QLineEdit>

#include <string>

namespace quorvalis
{

/// A line edit that takes only what can make a number and shows its value through a number
/// picture ("0.000#######": see geometry/NumberFormat.h).
///
/// Decimal separator: the text is shown with the application's separator (the user's locale,
/// DecimalSeparator()); typing and reading accept that separator and "." alike, so a user whose
/// locale writes "," can type either and never reads a typed value as 0.
///
/// Key filter: of the printable characters only the digits, the separators, "+" and "-" are
/// taken; a separator only while the text holds none or the whole text is selected; a sign only
/// while the text is empty or wholly selected. Editing keys (arrows, Delete, Backspace, Enter,
/// shortcuts) pass unchanged.
///
/// Leaving the control: text that is a number is rewritten as its value through Format (2 with
/// "0.000#######" becomes "2.000"); other text stays as typed and the application's error box
/// says "Invalid numeric format".
class GFloatEdit : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(QString format READ FormatText WRITE SetFormatText)
    Q_PROPERTY(double value READ Value WRITE SetValue)

public:
    explicit GFloatEdit(QWidget* parent = nullptr);

    /// The number picture the value is shown with; empty: the shortest general form.
    const std::string& Format() const { return format_; }
    void SetFormat(std::string format) { format_ = std::move(format); }
    QString FormatText() const { return QString::fromStdString(format_); }
    void SetFormatText(const QString& format) { format_ = format.toStdString(); }

    /// The text read as a number with either separator; 0 when it is not a number.
    double Value() const;
    /// The text becomes value through Format.
    void SetValue(double value);
    /// Whether the text is a number (as Value reads it).
    bool HoldsNumber() const;

    /// Whether the key filter takes a typed character with the edit's present text and selection.
    bool Accepts(QChar character) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool ReadNumber(double& value) const;

    std::string format_;
};

/// The message of a number edit left holding no number.
inline constexpr char kInvalidNumericFormatMessage[] = "Invalid numeric format";

} // namespace quorvalis
