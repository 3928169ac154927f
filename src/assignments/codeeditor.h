#pragma once

#include "core/programstate.h"
#include "core/recordeditor.h"
#include "core/textlimits.h"
#include "data/database.h"

#include <QList>
#include <QString>

class QCheckBox;
class QLineEdit;

namespace tavrel {

class frmMain;

// Help context ids of the code editors: each window has its own, and its second list (the
// managers, the types) a topic of its own.
constexpr int HelpIdEmployees = 25;
constexpr int HelpIdManagers = 26;
constexpr int HelpIdTypes = 27;
constexpr int HelpIdLocations = 28;

// Everything that differs between the four short lists the code editors maintain.
struct CodeList {
    CodeEdit mode;
    QString caption;
    // The recordset's queries: the columns are renamed, so that both lists of a window are
    // read and written through the same names. The first lists every name, retired ones
    // too; the second only the active ones.
    QString sql;
    QString activeSql;
    QString deleteQuestion;
    QString deleteTitle;
    // Finds a row that still refers to the shown one (its id is appended).
    QString referenceSql;
    QString refusal;
    QString missingData;
    int helpId;
    bool ProgramState::*changedFlag; // the list-changed flag of the program state
};

// The list of a mode.
const CodeList& codeList(CodeEdit mode);

// What the two code editors share: a small window of its own, not modal, editing one of
// the two lists it serves (the one CodeEditMode names when it opens) through a recordset of
// its own, with an Ok button that closes it and a default button that Enter presses.
class CodeEditor : public RecordEditor {
    Q_OBJECT
public:
    // The list the window shows. Its messages, reference check and list-changed flag are
    // those of this list, whatever CodeEditMode has become since.
    CodeEdit mode() const { return list_->mode; }
    int helpContextId() const { return list_->helpId; }

    Recordset& recordset() override { return rs_; }

    // Shows the list CodeEditMode names instead of the current one; refused (false) while
    // a row is being edited or added, or when the list is not one of this window's.
    bool switchList();

    QPushButton* defaultButton() const { return default_; }

    QPushButton* cmdOk = nullptr;
    // The shown name is retired: bound to the row's inactive flag.
    QCheckBox* chkInactive = nullptr;
    // Lists the retired names too (greyed); off when the window opens.
    QCheckBox* chkShowInactive = nullptr;

public Q_SLOTS:
    // Opens the recordset of the list CodeEditMode names and shows its first row.
    void Form_Load();
    // Sets the list-changed flag of the window's list: the other editors reload that list
    // at their next activation.
    void Form_Activate();
    void cmdOk_Click();
    void cmdAddNew_Click() override;
    void cmdCancel_Click() override;
    void cmdFind_Click() override;
    // Lists the retired names too, or leaves them out, staying on the shown name while the
    // list holds it. Refused (beep, switch put back) while a name is being edited.
    void chkShowInactive_Click();

protected:
    // `first` and `second` are the two lists the window serves; it opens on `first` when
    // CodeEditMode names neither.
    CodeEditor(CodeEdit first, CodeEdit second, QWidget* parent);

    // The column Find searches and the question it asks.
    virtual QString findColumn() const = 0;
    virtual QString findPrompt() const = 0;
    // Sets the caption and the labels of the list the window now shows.
    virtual void showListTexts() = 0;

    // Lays the window out: each text box beside its label, the buttons below.
    void buildLayout(const QList<QWidget*>& labels);
    // A text box bound to a column of the window's recordset ("firstname", "descr" ...).
    QLineEdit* makeTextBox(const char* name, const QString& column);
    // The window's text boxes, in the order they were made; the first gets the focus.
    QList<QLineEdit*> textBoxes() const;

    // Rows are shown, cleared and saved through the bound boxes; a row needs at least one
    // of them filled in.
    void reopenRecordset() override;
    void ShowRecord() override;
    void ClearRecord() override;
    void SaveRecord() override;
    bool ValidateRecord() override;
    // The button Enter presses.
    void setDefaultButton(QPushButton* button);

    // Update and Cancel already show when the window opens (until the first of them is
    // used), as the codes window has always had them.
    bool saveButtonsAtOpening = false;

    QList<QWidget*> dataControls() const override;
    QString keyColumn() const override;
    QWidget* firstDataControl() const override;
    QString deleteQuestion() const override;
    QString deleteTitle() const override;
    bool removeDependents() override;
    void deleteRefused() override;
    QString helpTopic() const override;
    QString recordName() const override;

    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

    const CodeList* list_ = nullptr;

private:
    void closeList();
    // Shows the retired state of the shown name: the boxes' text greyed.
    void showRetiredState();
    // Reads the list again and shows the row `id`, or the first when it is no longer listed.
    void reopenAt(const QVariant& id);

    CodeEdit first_;
    CodeEdit second_;
    Recordset rs_;
    QPushButton* default_ = nullptr;
    QList<std::pair<QLineEdit*, QString>> boxes_; // each box with its column
};

// Opens the editor of the list CodeEditMode names without blocking the caller, or brings
// the one already open forward, switched to that list unless it is editing a row (then it
// keeps its list, beeps and puts CodeEditMode back). One window per class, belonging to
// `parent`'s window; it goes when it is closed.
CodeEditor* openCodeEditor(QWidget* parent);

// Maintain, Employees / Locations / Managers / Types.
void installCodeEditors(frmMain& main);

} // namespace tavrel
