#include "uikit/inputdialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace tarsel {

TInputDialog::TInputDialog(const QString &title, const QString &prompt, const QString &preset, QWidget *parent)
    : QDialog(parent), m_prompt(new QLabel(prompt, this)), m_edit(new QLineEdit(preset, this))
{
    setObjectName(QStringLiteral("InputBox"));
    setWindowTitle(title);
    m_prompt->setObjectName(QStringLiteral("Prompt"));
    m_prompt->setTextFormat(Qt::PlainText);
    m_edit->setObjectName(QStringLiteral("Edit"));
    m_edit->selectAll();
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("Buttons"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_prompt);
    layout->addWidget(m_edit);
    layout->addWidget(buttons);
    setMinimumWidth(360);
}

QString TInputDialog::Text() const { return m_edit->text(); }

} // namespace tarsel
