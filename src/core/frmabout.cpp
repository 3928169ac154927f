#include "core/frmabout.h"

#include "core/uiseam.h"
#include "core/windowplacement.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tavrel {

frmAbout::frmAbout(QWidget* parent)
    : QDialog(parent) {
    keepShownSize(this);
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About ") + AppTitle);

    auto* title = new QLabel(AppTitle, this);
    title->setObjectName(QStringLiteral("lblTitle"));
    QFont big = title->font();
    big.setPointSizeF(big.pointSizeF() * 2);
    big.setBold(true);
    title->setFont(big);

    auto* description = new QLabel(
        QStringLiteral("Preventive maintenance scheduling: tasks, weekly schedules, yearly "
                       "assignments, work orders, completion records and reports."),
        this);
    description->setWordWrap(true);

    auto* version = new QLabel(QStringLiteral("Version ") + QStringLiteral(TAVREL_VERSION), this);
    version->setObjectName(QStringLiteral("lblVersion"));

    auto* maker = new QLabel(QStringLiteral("Made by the Tavrel developers.\n"
                                            "Free software built with Qt and SQLite."),
                             this);
    maker->setObjectName(QStringLiteral("lblMaker"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("cmdOK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(description);
    layout->addSpacing(8);
    layout->addWidget(version);
    layout->addWidget(maker);
    layout->addStretch();
    layout->addWidget(buttons);
    setMinimumWidth(420);
}

} // namespace tavrel
