#pragma once
#include <QWidget>
#include <functional>

#include "session/mainservices.h"

namespace tarsel::test {

// A stand-in connection window: its state is set by the test, its calls are counted.
class TTestChild : public QWidget, public IConnectionWindow {
public:
    explicit TTestChild(QString caption) : m_caption(std::move(caption)) {}

    QWidget *Widget() override { return this; }
    QString Caption() const override { return m_caption; }
    bool Connected() const override { return connected; }
    int SelectedDirCount() const override { return dirs; }
    int SelectedFileCount() const override { return files; }
    void SetViewStyle(TViewStyle s) override { style = s; }
    void Realign() override { ++realigns; }
    void FormClose() override
    {
        ++formCloses;
        if (onFormClose)
            onFormClose();
    }

    void SetCaption(QString c) { m_caption = std::move(c); }

    bool connected = false;
    int dirs = 0;
    int files = 0;
    TViewStyle style = TViewStyle::Details;
    int realigns = 0;
    int formCloses = 0;
    std::function<void()> onFormClose;

private:
    QString m_caption;
};

} // namespace tarsel::test
