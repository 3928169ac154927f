#pragma once

#include <QDialog>
#include <QMap>

class QLineEdit;
class QListWidget;
class QTextBrowser;
class QTabWidget;

namespace tavrel {

// The help window: our help pages (HTML in the resources) with a contents list and a
// keyword index that narrows as the user types.
class frmHelp : public QDialog {
    Q_OBJECT
public:
    explicit frmHelp(QWidget* parent = nullptr);

    // Shows "contents", "search" (the keyword index with the search box focused),
    // "usinghelp" or any page by its file name without extension.
    void showTopic(const QString& topic);

    // Keywords of the index and the page each one leads to.
    const QMap<QString, QString>& keywords() const { return keywords_; }

private:
    void loadIndex();
    void filterKeywords(const QString& text);
    void openPage(const QString& page);

    QTabWidget* tabs_ = nullptr;
    QListWidget* contents_ = nullptr;
    QLineEdit* search_ = nullptr;
    QListWidget* index_ = nullptr;
    QTextBrowser* browser_ = nullptr;
    QMap<QString, QString> keywords_;
};

} // namespace tavrel
