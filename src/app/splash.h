#pragma once
#include <QWidget>

class QLabel;

namespace tarsel {

// The start-up window: banner, "Tarsel FTP 1.0", the progress line and the maker's
// notice. Closing it releases it.
class TfrmSplash : public QWidget {
    Q_OBJECT
public:
    explicit TfrmSplash(QWidget *parent = nullptr);
    void SetInfo(const QString &text);
    QString Info() const;

private:
    QLabel *m_info;
};

// Closes the open window named "frmSplash", if any.
void CloseSplash();

} // namespace tarsel
