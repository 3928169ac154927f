#include "core/frmfolder.h"

#include "core/uiseam.h"
#include "core/windowplacement.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tavrel {

namespace {

// Wide enough for a folder's path on one line of the buttons' captions.
constexpr int DialogMinimumWidth = 460;

QPushButton* addButton(QLayout* layout, const QString& name, const QString& caption) {
    auto* button = new QPushButton(caption);
    button->setObjectName(name);
    button->setAutoDefault(false);
    layout->addWidget(button);
    return button;
}

} // namespace

frmFolder::frmFolder(const QString& intro, const QString& lastFolder, QWidget* parent)
    : QDialog(parent) {
    keepShownSize(this);
    setObjectName(QStringLiteral("frmFolder"));
    setWindowTitle(QStringLiteral("Open Folder"));
    setMinimumWidth(DialogMinimumWidth);
    auto* layout = new QVBoxLayout(this);

    lblIntro = new QLabel(intro);
    lblIntro->setObjectName(QStringLiteral("lblIntro"));
    lblIntro->setWordWrap(true);
    layout->addWidget(lblIntro);
    layout->addSpacing(lblIntro->fontMetrics().height() / 2);

    cmdLast = addButton(
        layout, QStringLiteral("cmdLast"),
        QStringLiteral("Open the &Last Folder: %1").arg(QDir::toNativeSeparators(lastFolder)));
    cmdLast->setVisible(!lastFolder.isEmpty());
    cmdChoose = addButton(layout, QStringLiteral("cmdChoose"),
                          QStringLiteral("&Choose a Folder with a Site..."));
    cmdNew = addButton(layout, QStringLiteral("cmdNew"),
                       QStringLiteral("Start a &New Site in an Empty Folder..."));
    layout->addStretch();
    cmdCancel = addButton(layout, QStringLiteral("cmdCancel"), QStringLiteral("Cancel"));

    (lastFolder.isEmpty() ? cmdChoose : cmdLast)->setDefault(true);
    connect(cmdLast, &QPushButton::clicked, this, [this] { done(LastFolder); });
    connect(cmdChoose, &QPushButton::clicked, this, [this] { done(ChooseFolder); });
    connect(cmdNew, &QPushButton::clicked, this, [this] { done(NewFolder); });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

} // namespace tavrel
