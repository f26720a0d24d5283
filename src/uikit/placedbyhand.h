#pragma once
// For a container that places its children by hand. Without a layout, every change of
// a child's size hint (a label's new text) posts a layout request to the container,
// and each post wakes the event loop; a connection window changes its labels several
// times per file of a batch. Installed on the container, this layout takes those
// notices at once, without a post, and calls `arrange` for them (a child's limits may
// have changed) and whenever the container is resized.

#include <functional>

#include <QLayout>

namespace tarsel {

class TPlacedByHand : public QLayout {
public:
    TPlacedByHand(QWidget *container, std::function<void()> arrange);
    void addItem(QLayoutItem *) override {}
    int count() const override { return 0; }
    QLayoutItem *itemAt(int) const override { return nullptr; }
    QLayoutItem *takeAt(int) override { return nullptr; }
    QSize sizeHint() const override { return {}; }
    void invalidate() override;
    void setGeometry(const QRect &r) override;

private:
    std::function<void()> m_arrange;
};

} // namespace tarsel
