#pragma once

#include "store/view/ViewRst.h"

#include <memory>

class MshfGrid;

// Binds the main grid to whatever record set it is handed. A non-empty set
// is shown through the model (no cell copies); an empty one draws the header
// and one blank row, and a second empty one in a row changes nothing.
class RSTMSHF {
public:
    enum class State { Fresh = -1, EmptyShown = 0, Bound = 1 };

    void Attach(MshfGrid* grid);
    void Bd(const std::shared_ptr<ViewRst>& rst);
    State state() const { return m_state; }

private:
    MshfGrid* m_grid = nullptr;
    State m_state = State::Fresh;
};
