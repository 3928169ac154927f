#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace tavrel {

// Asks which folder to work in: the folder used last (when there is one to offer), another
// folder with a site in it, or a new folder for a new site. The dialog's result code is the
// choice; Cancel (or the close box) rejects it.
class frmFolder : public QDialog {
    Q_OBJECT
public:
    enum Choice { LastFolder = 1, ChooseFolder, NewFolder };

    // `lastFolder` empty: no folder to offer again, so its button is hidden.
    frmFolder(const QString& intro, const QString& lastFolder, QWidget* parent = nullptr);

    QLabel* lblIntro = nullptr;
    QPushButton* cmdLast = nullptr;
    QPushButton* cmdChoose = nullptr;
    QPushButton* cmdNew = nullptr;
    QPushButton* cmdCancel = nullptr;
};

} // namespace tavrel
