#pragma once

#include "DatabaseUrl.h"

#include <QStringList>

#include <span>

// The schema's history for both backends: step N brings a database from version N - 1 to N,
// and the versions applied are rows of schema_version. A step is never changed once released;
// a change to the schema is a new step at the end.
namespace Migrations {

int latestVersion();
// The statements of step `version` (1 to latestVersion()) in the backend's dialect.
QStringList step(int version, DatabaseUrl::Backend backend);

// Columns that builds before schema_version added to tables of an older file one by one; a
// SQLite file without schema_version gets those it lacks before it counts as version 1.
struct AddedColumn {
    const char *table;
    const char *name;
    const char *definition;
};
std::span<const AddedColumn> sqliteAddedColumns();

} // namespace Migrations
