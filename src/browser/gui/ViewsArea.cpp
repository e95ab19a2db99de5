#include "browser/gui/ViewsArea.h"

#include "browser/CombinedSearch.h"
#include "browser/gui/TableFace.h"
#include "support/gui/MessageBox.h"

#include <QLabel>
#include <QLineEdit>

ViewsArea::ViewsArea(TableFace* face) : QObject(face), m_face(face) {}

void ViewsArea::Search(const ViewCondition& condition)
{
    Result<std::shared_ptr<ViewRst>> view = ViewRst::open(m_face->registerStore(), condition);
    if (!view) {
        MessageBox::warning(m_face, view.error().fullText());
        return;
    }
    m_face->setCurrentView(view.value());
    m_face->binder().Bd(m_face->currentView());
    m_face->Label13()->setText(QStringLiteral("         组合搜索"));
}

ViewCondition ViewsArea::SqlMade()
{
    SearchCriteria criteria;
    const QList<QLineEdit*>& boxes = m_face->SearchText();
    for (int i = 0; i < SearchCriteria::BoxCount; ++i)
        criteria.box(i) = boxes.at(i)->text();
    ViewCondition condition = CombinedSearch::SqlMade(criteria);
    // Show what the search used: an invalid date has been emptied.
    for (int i : {SearchCriteria::Earliest, SearchCriteria::Latest}) {
        if (boxes.at(i)->text() != criteria.box(i))
            boxes.at(i)->setText(criteria.box(i));
    }
    return condition;
}

void ViewsArea::SearchCommand_Click()
{
    Search(SqlMade());
}

void ViewsArea::Clear()
{
    for (QLineEdit* box : m_face->SearchText())
        box->clear();
}

void ViewsArea::AllFile_Click()
{
    Clear();
    SearchCommand_Click();
    m_face->Label13()->setText(QStringLiteral("系统定义查询：所有记录"));
}

void ViewsArea::MyTo_Click() {}

void ViewsArea::ManToMe_Click() {}

void ViewsArea::MyFile_Click() {}

void ViewsArea::FileMenu_Click(int) {}

void ViewsArea::RebuildFolderMenu() {}
