#include "core/frmhelp.h"

#include "core/uiseam.h"
#include "data/textorder.h"

#include <QFile>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <algorithm>

namespace tavrel {

namespace {

const QString HelpRoot = QStringLiteral("qrc:/help/");

QString pageUrl(const QString& page) {
    return HelpRoot + page + QStringLiteral(".html");
}

} // namespace

frmHelp::frmHelp(QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(AppTitle + QStringLiteral(" Help"));
    setModal(false);

    contents_ = new QListWidget(this);
    contents_->setObjectName(QStringLiteral("lstContents"));
    search_ = new QLineEdit(this);
    search_->setObjectName(QStringLiteral("txtSearch"));
    search_->setPlaceholderText(QStringLiteral("Type the first letters of a keyword"));
    index_ = new QListWidget(this);
    index_->setObjectName(QStringLiteral("lstIndex"));

    auto* searchPage = new QWidget(this);
    auto* searchLayout = new QVBoxLayout(searchPage);
    searchLayout->setContentsMargins(4, 4, 4, 4);
    searchLayout->addWidget(search_);
    searchLayout->addWidget(index_);

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("tabHelp"));
    tabs_->addTab(contents_, QStringLiteral("&Contents"));
    tabs_->addTab(searchPage, QStringLiteral("&Search"));

    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("txtPage"));
    browser_->setOpenLinks(true);
    browser_->setSearchPaths({QStringLiteral(":/help")});

    auto* splitter = new QSplitter(this);
    splitter->addWidget(tabs_);
    splitter->addWidget(browser_);
    splitter->setStretchFactor(1, 3);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(splitter);
    resize(900, 600);

    loadIndex();

    connect(contents_, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { openPage(item->data(Qt::UserRole).toString()); });
    connect(contents_, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (item)
            openPage(item->data(Qt::UserRole).toString());
    });
    connect(search_, &QLineEdit::textChanged, this, &frmHelp::filterKeywords);
    connect(search_, &QLineEdit::returnPressed, this, [this] {
        if (index_->count() > 0)
            openPage(index_->item(0)->data(Qt::UserRole).toString());
    });
    connect(index_, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { openPage(item->data(Qt::UserRole).toString()); });
    connect(index_, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { openPage(item->data(Qt::UserRole).toString()); });
}

// The contents list comes from the pages named in contents.txt (one "page|title" a line);
// each page's <meta name="keywords"> feeds the keyword index.
void frmHelp::loadIndex() {
    QFile list(QStringLiteral(":/help/contents.txt"));
    if (!list.open(QIODevice::ReadOnly))
        return;
    static const QRegularExpression keywordMeta(
        QStringLiteral("<meta\\s+name=\"keywords\"\\s+content=\"([^\"]*)\""));
    const QStringList lines = QString::fromUtf8(list.readAll()).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        const QString page = line.section(QLatin1Char('|'), 0, 0).trimmed();
        const QString title = line.section(QLatin1Char('|'), 1).trimmed();
        if (page.isEmpty())
            continue;
        auto* item = new QListWidgetItem(title, contents_);
        item->setData(Qt::UserRole, page);

        QFile html(QStringLiteral(":/help/") + page + QStringLiteral(".html"));
        if (!html.open(QIODevice::ReadOnly))
            continue;
        const auto match = keywordMeta.match(QString::fromUtf8(html.readAll()));
        if (!match.hasMatch())
            continue;
        for (const QString& keyword : match.captured(1).split(QLatin1Char(','))) {
            const QString k = keyword.trimmed();
            if (!k.isEmpty() && !keywords_.contains(k))
                keywords_.insert(k, page);
        }
    }
    filterKeywords({});
}

void frmHelp::filterKeywords(const QString& text) {
    index_->clear();
    // In the program's order of texts, as every other list.
    QStringList shown;
    for (auto it = keywords_.cbegin(); it != keywords_.cend(); ++it)
        if (it.key().startsWith(text.trimmed(), Qt::CaseInsensitive))
            shown << it.key();
    std::stable_sort(shown.begin(), shown.end(), TextLess());
    for (const QString& keyword : std::as_const(shown)) {
        auto* item = new QListWidgetItem(keyword, index_);
        item->setData(Qt::UserRole, keywords_.value(keyword));
    }
}

void frmHelp::openPage(const QString& page) {
    browser_->setSource(QUrl(pageUrl(page)));
}

void frmHelp::showTopic(const QString& topic) {
    if (topic == QLatin1String("search")) {
        tabs_->setCurrentIndex(1);
        search_->clear();
        search_->setFocus();
        openPage(QStringLiteral("contents"));
        return;
    }
    tabs_->setCurrentIndex(0);
    openPage(topic);
    for (int i = 0; i < contents_->count(); ++i)
        if (contents_->item(i)->data(Qt::UserRole).toString() == topic)
            contents_->setCurrentRow(i);
}

} // namespace tavrel
