#include "uikit/placedbyhand.h"

#include <utility>

namespace tarsel {

TPlacedByHand::TPlacedByHand(QWidget *container, std::function<void()> arrange)
    : QLayout(container), m_arrange(std::move(arrange))
{
    // The container's own size hints stand; the layout imposes no minimum.
    setSizeConstraint(QLayout::SetNoConstraint);
    setContentsMargins(0, 0, 0, 0);
}

void TPlacedByHand::invalidate()
{
    m_arrange();
}

void TPlacedByHand::setGeometry(const QRect &r)
{
    QLayout::setGeometry(r);
    m_arrange();
}

} // namespace tarsel
