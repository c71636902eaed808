#include "forms/EntryFields.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>

#include <map>

namespace quorvalis
{

namespace
{

class GEnterMovesFocus : public QObject
{
public:
    explicit GEnterMovesFocus(QObject* parent) : QObject(parent) {}

    void Link(QWidget* from, QWidget* to)
    {
        next_[from] = to;
        from->installEventFilter(this);
        if (auto* combo = qobject_cast<QComboBox*>(from); combo && combo->lineEdit())
        {
            next_[combo->lineEdit()] = to;
            combo->lineEdit()->installEventFilter(this);
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
            (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        const auto found = next_.find(watched);
        if (found == next_.end())
            return false;
        found->second->setFocus(Qt::TabFocusReason);
        return true;
    }

private:
    std::map<QObject*, QWidget*> next_;
};

} // namespace

void MoveFocusOnEnter(const std::vector<QWidget*>& chain)
{
    if (chain.size() < 2)
        return;
    auto* filter = new GEnterMovesFocus(chain.front());
    for (std::size_t i = 0; i + 1 < chain.size(); ++i)
        filter->Link(chain[i], chain[i + 1]);
}

void KeepUpperCase(QLineEdit& edit)
{
    QObject::connect(&edit, &QLineEdit::textEdited, &edit,
                     [&edit](const QString& text)
                     {
                         const QString upper = text.toUpper();
                         if (upper == text)
                             return;
                         const int caret = edit.cursorPosition();
                         edit.setText(upper);
                         edit.setCursorPosition(caret);
                     });
}

} // namespace quorvalis
