#pragma once

#include "data/backup.h"

#include <QDialog>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTreeWidget;

namespace tavrel {

class frmMain;

// File, Backups...: every backup of the site with what it holds, and the commands on them:
// a backup now, a restore, the folder in the file manager and the options.
class frmBackups : public QWidget {
    Q_OBJECT
public:
    explicit frmBackups(frmMain* main);

    // The backup of the selected row, or nothing.
    std::optional<BackupFile> selectedBackup() const;

public Q_SLOTS:
    // Reads the folder again and lists its backups, keeping the selected one selected.
    void Form_Load();
    void cmdBackUpNow_Click();
    void cmdRestore_Click();
    void cmdOpenFolder_Click();
    void cmdOptions_Click();
    void lstBackups_SelectionChanged();

private:
    void selectPath(const QString& path);

    frmMain* main_;
    QList<BackupFile> shown_;

public:
    QLabel* lblFolder = nullptr;
    QTreeWidget* lstBackups = nullptr;
    QPushButton* cmdBackUpNow = nullptr;
    QPushButton* cmdRestore = nullptr;
    QPushButton* cmdOpenFolder = nullptr;
    QPushButton* cmdOptions = nullptr;
    QPushButton* cmdHelp = nullptr;
    QPushButton* cmdClose = nullptr;
};

// The folder and the counts rotation keeps, as stored in the site's tavrel.conf.
class frmBackupOptions : public QDialog {
    Q_OBJECT
public:
    explicit frmBackupOptions(QWidget* parent = nullptr);
    QSize sizeHint() const override;

public Q_SLOTS:
    void cmdBrowse_Click();
    // Saves the settings and closes; a folder that cannot take backups, or settings that
    // cannot be written, are refused with a message and the dialog stays open.
    void cmdOK_Click();

public:
    QLineEdit* txtFolder = nullptr;
    QPushButton* cmdBrowse = nullptr;
    QSpinBox* spnDays = nullptr;
    QSpinBox* spnWeeks = nullptr;
    QSpinBox* spnMonths = nullptr;
    QSpinBox* spnOthers = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
};

// Opens the Backups window over `main`, or brings the open one forward.
frmBackups* openBackupsWindow(frmMain* main);

// How a backup's reason reads in the list ("Daily", "Before setting the year").
QString backupReasonText(const QString& reason);

} // namespace tavrel
