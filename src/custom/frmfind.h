#pragma once

#include "custom/findcriteria.h"
#include "data/database.h"

#include <QDialog>
#include <QPointer>

#include <array>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace tavrel {

class RecordEditor;

// "Find a Task": searches the task or the assignment editor's recordset (FindCaller) by any
// field the catalogue lists for FindTable. It is hidden, not closed, after each use, so the
// field, operator, value and direction chosen stay for the next search.
class frmFind : public QDialog {
    Q_OBJECT
public:
    explicit frmFind(QWidget* parent = nullptr);
    ~frmFind() override;

    // The table whose fields the lists hold (FindTable when they were loaded).
    QString loadedTable() const { return loadedTable_; }
    // The user closed the window by its close box: the next use starts afresh.
    bool unloadRequested() const { return unload_; }
    // The editor whose recordset is searched (FindCaller's window), when it is one.
    void setCaller(RecordEditor* editor);

public Q_SLOTS:
    // Fills the lists from the catalogue of FindTable.
    void Form_Load();
    void lstField_Click();
    void lstBool_Click();
    void txtToFind_Change();
    void cmdFind_Click();
    void cmdCancel_Click();

    // Escape leaves the dialog as Close does.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ShowOperatorList();
    // Shows `list` (one of the four of the second column) and hides the other three.
    void showOnly(QListWidget* list);
    void setSearchBoxVisible(bool visible);
    // rsSpec positioned on the row of the field selected; false when none is.
    bool positionOnSelectedField();
    CatalogueField selectedField() const;
    void refuse(FindRefusal refusal);
    // The recordset of the editor that asked.
    static Recordset& callerRecordset();

    QPointer<RecordEditor> caller_;
    Database SpecDb;
    Recordset rsSpec;
    QString loadedTable_;
    bool unload_ = false;

    QLabel* Label1;
    QListWidget* lstField;
    QLabel* lblOperator;
    QListWidget* lstNum;
    QListWidget* lstText;
    QListWidget* lstBool;
    QListWidget* lstSel;
    QLabel* lblToFind;
    QLineEdit* txtToFind;
    std::array<QRadioButton*, 5> optWhere{}; // indexes 1 to 4
    QPushButton* cmdFind;
    QPushButton* cmdCancel;
};

// Shows the find dialog for the editor that asks, loading it on first use and again when
// it is asked for the other table. Installed as the editors' find dialog.
void runFindDialog(QWidget* parent);
void installFindDialog();

} // namespace tavrel
