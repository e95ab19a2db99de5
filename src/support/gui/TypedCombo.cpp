#include "support/gui/TypedCombo.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QMouseEvent>
#include <QPointer>

#include <utility>

namespace TypedCombo {

namespace {

// The completer's list swallows the click that closes it. A click elsewhere
// in the window should close the list and still do what it was aimed at:
// focus the box clicked, press the button.
class ClickThrough : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonPress)
            return pressed(static_cast<QWidget*>(watched), static_cast<QMouseEvent*>(event));
        // Qt sends the release after the press it routed to the list, so it
        // would never reach the widget that took the press: it is given there.
        if (event->type() == QEvent::MouseButtonRelease && m_target) {
            qApp->removeEventFilter(this);
            QPointer<QWidget> target = std::exchange(m_target, nullptr);
            if (watched == target)
                return false;
            forward(target, static_cast<QMouseEvent*>(event));
            return true;
        }
        return false;
    }

private:
    bool pressed(QWidget* popup, QMouseEvent* press)
    {
        const QPoint global = press->globalPosition().toPoint();
        if (popup->rect().contains(popup->mapFromGlobal(global)))
            return false;
        popup->hide();
        QWidget* target = QApplication::widgetAt(global);
        if (!target || target->window() == popup)
            return true;
        // A press sent by hand does not move the focus as the pointer's does.
        for (QWidget* w = target; w; w = w->isWindow() ? nullptr : w->parentWidget()) {
            if (w->isEnabled() && (w->focusPolicy() & Qt::ClickFocus)) {
                w->setFocus(Qt::MouseFocusReason);
                break;
            }
        }
        m_target = target;
        qApp->installEventFilter(this);
        forward(target, press);
        return true;
    }

    static void forward(QWidget* target, QMouseEvent* event)
    {
        QMouseEvent again(event->type(), target->mapFromGlobal(event->globalPosition()),
                          event->globalPosition(), event->button(), event->buttons(),
                          event->modifiers());
        QApplication::sendEvent(target, &again);
    }

    QPointer<QWidget> m_target;
};

} // namespace

void keepTypedText(QComboBox* combo)
{
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    auto* completer = new QCompleter(combo->model(), combo);
    completer->setCompletionMode(QCompleter::PopupCompletion);
    // When editing ends the combo box looks the text up among its entries
    // with the completer's case rule and takes the entry found: only an
    // exact match may be taken, or a typed qq would be saved as QQ.
    completer->setCaseSensitivity(Qt::CaseSensitive);
    combo->setCompleter(completer);
    // Installed after the completer's own filter, so it sees the click first.
    completer->popup()->installEventFilter(new ClickThrough(completer));
}

} // namespace TypedCombo
