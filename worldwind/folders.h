#pragma once
// World Wind folders copied from Windows keep Windows spelling ("Add-ons",
// "Config"), which a case-sensitive file system would not find under the
// names the program looks for.

#include <QString>

namespace wwfolders {

// folder + "\" + name (the program's joined form). Where file names are
// case-sensitive and `name` does not exist under `folder` as spelled, an
// existing folder whose name differs only in case takes its place; with
// none, the name stays as given.
QString joinExisting(const QString& folder, const QString& name);

}  // namespace wwfolders
