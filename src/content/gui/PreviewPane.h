#pragma once

#include "store/Register.h"

#include <QImage>
#include <QList>
#include <QString>
#include <QWidget>

#include <optional>

class QLabel;
class QScrollArea;
class QStackedWidget;
class QTextBrowser;
class QToolButton;

// Shows a record's stored copy: pages of PDFs and pictures as the reader
// program draws them, the text of anything else as it was read, with a
// searched word marked. The file itself is only ever opened by the reader:
// nothing of it is parsed or run here, and nothing is written. Each showing
// is prepared on another thread; while one is on its way only the newest
// request waits behind it, and an older one's result is dropped.
class PreviewPane : public QWidget {
    Q_OBJECT
public:
    struct Item {
        qint64 identity = 0;
        QString path; // the stored copy; empty when there is none
        QString fileName;
        QString term; // marked where it stands; may be empty
        bool operator==(const Item&) const = default;
    };

    explicit PreviewPane(Register reg, QWidget* parent = nullptr);
    ~PreviewPane() override;

    // Nothing: an empty pane.
    void showItem(const std::optional<Item>& item);
    void nextPage();
    void previousPage();

    // What the pane shows now.
    QTextBrowser* textView() const { return m_text; }
    QLabel* pictureView() const { return m_picture; }
    QLabel* pageLabel() const { return m_pageLabel; }
    bool isShowingPicture() const;
    bool isBusy() const { return m_running; }

    // What one showing holds, prepared off the window's thread.
    struct Shown {
        QImage picture; // null: text
        int page = 1;
        int pages = 1;
        QString text;
        QList<std::pair<int, int>> marks; // start, length in `text`
    };

Q_SIGNALS:
    // A result is on screen (also when it tells why there is none).
    void shown();

private:
    void request(const Item& item, int page);
    void startNext();
    void display(const Shown& shown);

    Register m_register;
    std::optional<Item> m_item;
    int m_page = 1;
    int m_pages = 1;
    bool m_running = false;
    // The newest request while one runs.
    std::optional<std::pair<Item, int>> m_pending;
    quint64 m_generation = 0;

    QLabel* m_title = nullptr;
    QStackedWidget* m_stack = nullptr;
    QScrollArea* m_scroll = nullptr;
    QLabel* m_picture = nullptr;
    QTextBrowser* m_text = nullptr;
    QToolButton* m_previous = nullptr;
    QToolButton* m_next = nullptr;
    QLabel* m_pageLabel = nullptr;
};
