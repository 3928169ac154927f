#pragma once

#include "legacy/legacysource.h"

#include <memory>

namespace tavrel {

// A Jet (or ACE) database file read through libmdb, opened read-only: the one place that
// knows the library. Nothing is ever written to the file.
class MdbReader final : public LegacySource {
public:
    explicit MdbReader(const QString& path);
    ~MdbReader() override;
    MdbReader(const MdbReader&) = delete;
    MdbReader& operator=(const MdbReader&) = delete;

    bool isOpen() const;

    QList<LegacyTable> tables() const override;
    bool readRows(const QString& table, const RowFn& row, const UnreadableFn& unreadable) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace tavrel
