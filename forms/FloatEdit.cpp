#include "forms/FloatEdit.h"

#include "forms/MessageBoxes.h"
#include "geometry/NumberFormat.h"

#include <QFocusEvent>
#include <QKeyEvent>

#include <cmath>

namespace quorvalis
{

namespace
{

bool IsSeparator(QChar character)
{
    return character == QLatin1Char('.') || character == QLatin1Char(DecimalSeparator());
}

} // namespace

GFloatEdit::GFloatEdit(QWidget* parent) : QLineEdit(parent) {}

bool GFloatEdit::ReadNumber(double& value) const
{
    const std::string text = this->text().toStdString();
    double number = 0.0;
    if (!ParseNumber(text, number, '.') && !ParseNumber(text, number, DecimalSeparator()))
        return false;
    if (!std::isfinite(number))
        return false;
    value = number;
    return true;
}

double GFloatEdit::Value() const
{
    double value = 0.0;
    return ReadNumber(value) ? value : 0.0;
}

bool GFloatEdit::HoldsNumber() const
{
    double value = 0.0;
    return ReadNumber(value);
}

void GFloatEdit::SetValue(double value)
{
    setText(QString::fromStdString(FormatPicture(value, format_, DecimalSeparator())));
}

bool GFloatEdit::Accepts(QChar character) const
{
    const QString content = text();
    const bool wholeSelected = !content.isEmpty() && selectedText() == content;
    if (character.isDigit() && character.unicode() < 128)
        return true;
    if (IsSeparator(character))
    {
        const bool holdsSeparator =
            content.contains(QLatin1Char('.')) || content.contains(QLatin1Char(DecimalSeparator()));
        return !holdsSeparator || wholeSelected;
    }
    if (character == QLatin1Char('+') || character == QLatin1Char('-'))
        return content.isEmpty() || wholeSelected;
    return false;
}

void GFloatEdit::keyPressEvent(QKeyEvent* event)
{
    const QString typed = event->text();
    const bool command =
        event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    // Only printable characters are filtered; editing keys and shortcuts keep working.
    if (!command && typed.size() == 1 && typed[0].isPrint() && !Accepts(typed[0]))
    {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void GFloatEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    // Only leaving for another control of the window checks the text, not a window switch.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    double value = 0.0;
    if (ReadNumber(value))
        SetValue(value);
    else
        ShowApplicationError(kInvalidNumericFormatMessage);
}

} // namespace quorvalis
