#pragma once

#include "core/reopen.h"
#include "worklist/worklistquery.h"

#include <QAbstractTableModel>
#include <QDate>
#include <QList>
#include <QVariant>

#include <map>

namespace tavrel {

// The rows of the work list as a table that never holds all of them: the row count comes
// from a count query, rows are read a page at a time when the view asks for them and kept
// in a small cache of pages around what was shown last; sorting runs the query again in the
// other order. A row another program deleted meanwhile simply is not on the page read next.
class WorkListModel : public QAbstractTableModel, public DatabaseUser {
    Q_OBJECT
public:
    static constexpr int PageSize = 200;
    // Pages kept: the one shown, its neighbours, and a little more for a view that jumps.
    static constexpr int CachedPages = 5;

    explicit WorkListModel(QObject* parent = nullptr);

    // Shows the rows of `filter`, counted again, from the first.
    void setFilter(const WorkListFilter& filter);
    const WorkListFilter& filter() const { return filter_; }

    // Counts and reads again (after a save here or elsewhere); the sort stays. Before the
    // first filter is set there is nothing to read.
    void refresh();

    // The assignment (assid) on a row; null when the row is not there (anymore).
    QVariant assignmentAt(int row) const;
    // The assignments of the rows from `first` to `last`, both included, read from the
    // database (a selection of many rows is not read into the cache).
    QList<qint64> assignmentsOf(int first, int last) const;

    // Counting hooks for tests and benchmarks: pages read from the database since the
    // filter was set, and pages held now.
    int pagesRead() const { return pagesRead_; }
    int pagesHeld() const { return int(pages_.size()); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // DatabaseUser: on a new connection (a restore, a repair) the list is counted and read
    // again.
    void reopenRecords() override { refresh(); }

Q_SIGNALS:
    // The number of rows after a count.
    void counted(int rows);

private:
    struct Row {
        qint64 assid = 0;
        QDate due;
        QString task;
        QString location;
        QString type;
        QString employee;
        bool completed = false;
        QVariant hours;
        QVariant minutes;
        QVariant totalCost;
    };
    using Page = QList<Row>;

    // The page holding `row`, read when it is not held; null when it cannot be read.
    const Page* page(int number) const;
    void count();
    QVariant display(const Row& row, int column) const;

    WorkListFilter filter_;
    bool filtered_ = false; // nothing is read before the first filter is set
    QDate today_;
    int rows_ = 0;
    int sortColumn_ = ColDueDate;
    bool descending_ = false;
    mutable std::map<int, Page> pages_;
    mutable QList<int> recent_; // page numbers, the most recently used last
    mutable int pagesRead_ = 0;
};

} // namespace tavrel
