#include "browser/gui/RSTMSHF.h"

#include "browser/gui/MshfGrid.h"
#include "browser/gui/RecordTableModel.h"
#include "store/RecordFields.h"

void RSTMSHF::Attach(MshfGrid* grid)
{
    m_grid = grid;
    m_state = State::Fresh;
}

void RSTMSHF::Bd(const std::shared_ptr<ViewRst>& rst)
{
    if (!m_grid)
        return;
    if (rst && !rst->isEmpty()) {
        m_grid->recordModel()->setView(rst);
        // A newly bound grid starts on its first row, selected across.
        m_grid->selectRows(1, 1);
        m_state = State::Bound;
    } else if (m_state != State::EmptyShown) {
        m_grid->recordModel()->showEmpty(rst);
        if (m_state == State::Bound)
            m_state = State::EmptyShown;
    } else {
        m_grid->recordModel()->replaceEmpty(rst);
    }
    // The hidden columns stay hidden whatever was bound.
    for (const RecordFields::Field& field : RecordFields::all()) {
        if (field.gridWidth == 0)
            m_grid->setColumnHidden(field.gridColumn, true);
    }
}
