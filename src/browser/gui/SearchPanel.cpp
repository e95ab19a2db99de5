#include "browser/gui/SearchPanel.h"

#include "support/gui/Fonts.h"
#include "support/gui/Icons.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

using Fonts::px;

namespace {

struct SearchBoxPlace {
    const char16_t* label;
    int left;
    int top;
    int width;
};

// Box order; positions inside the frame.
const SearchBoxPlace searchBoxPlaces[] = {
    {u"全部或部分文件名", 120, 480, 4335},    {u"全部或部分接收人名", 120, 1200, 4335},
    {u"传送方式 ", 120, 1920, 4335},          {u"最早发件日期", 4560, 480, 4335},
    {u"最晚发件日期", 4560, 1200, 4335},      {u"备注中一个词", 4560, 1920, 4335},
    {u"全部或部分文件夹名", 120, 2640, 7455},
};

} // namespace

SearchPanel::SearchPanel(QWidget* parent) : QGroupBox(QStringLiteral("搜索文件"), parent)
{
    setObjectName(QStringLiteral("Frame2"));
    // The caption sits on the border, as frames do on the desktop it came from,
    // so the box labels below it keep their places.
    setStyleSheet(QStringLiteral("QGroupBox#Frame2 { border: 1px solid palette(mid); "
                                 "border-radius: 3px; margin-top: %1px; }"
                                 "QGroupBox#Frame2::title { subcontrol-origin: margin; "
                                 "left: 8px; padding: 0 3px; }")
                      .arg(Fonts::scaled(7)));
    int index = 0;
    for (const SearchBoxPlace& place : searchBoxPlaces) {
        auto* label = new QLabel(QString::fromUtf16(place.label), this);
        label->setGeometry(px(place.left), px(place.top) - Fonts::scaled(17), px(place.width),
                           Fonts::scaled(16));
        auto* box = new QLineEdit(this);
        box->setObjectName(QStringLiteral("SearchText%1").arg(index++));
        box->setGeometry(px(place.left), px(place.top), px(place.width), px(375));
        connect(box, &QLineEdit::returnPressed, this, &SearchPanel::searchRequested);
        m_boxes.append(box);
    }
    m_contentPart = new QFrame(parent);
    m_contentPart->setObjectName(QStringLiteral("ContentFrame"));
    // Its border level with the panel's, which starts below the caption.
    m_contentPart->setStyleSheet(QStringLiteral("QFrame#ContentFrame { border: 1px solid "
                                                "palette(mid); border-radius: 3px; "
                                                "margin-top: %1px; }")
                                     .arg(Fonts::scaled(7)));
    auto* label = new QLabel(QStringLiteral("文件内容中的词"), m_contentPart);
    label->setGeometry(px(120), px(480) - Fonts::scaled(17), px(2535), Fonts::scaled(16));
    auto* content = new QLineEdit(m_contentPart);
    content->setObjectName(QStringLiteral("SearchText%1").arg(SearchCriteria::Content));
    content->setGeometry(px(120), px(480), px(2535), px(375));
    connect(content, &QLineEdit::returnPressed, this, &SearchPanel::searchRequested);
    m_boxes.append(content);

    m_button = new QToolButton(this);
    m_button->setObjectName(QStringLiteral("SearchCommand"));
    m_button->setToolTip(QStringLiteral("进行组合查询"));
    m_button->setIcon(QIcon(Icons::searchButton()));
    m_button->setIconSize(Icons::searchButton().size());
    m_button->setGeometry(px(7680), px(2580), px(1215), px(495));
    connect(m_button, &QToolButton::clicked, this, &SearchPanel::searchRequested);
}

SearchCriteria SearchPanel::criteria() const
{
    SearchCriteria criteria;
    for (int i = 0; i < m_boxes.size(); ++i)
        criteria.box(i) = m_boxes.at(i)->text();
    return criteria;
}

void SearchPanel::setCriteria(const SearchCriteria& criteria)
{
    for (int i = 0; i < m_boxes.size(); ++i) {
        if (m_boxes.at(i)->text() != criteria.box(i))
            m_boxes.at(i)->setText(criteria.box(i));
    }
}

void SearchPanel::clear()
{
    for (QLineEdit* box : m_boxes)
        box->clear();
}
