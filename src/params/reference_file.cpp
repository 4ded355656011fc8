#include "params/reference_file.h"

#include "params/parameter_compare.h"

#include <QFileInfo>

RReferenceFile LoadReferenceFile(const QString& path)
{
    RReferenceFile loaded;
    TParameterInfo catalogue;
    RParameter set = catalogue.NewParameterSet(0);
    const RParameterFileResult read = ImportParameterFile(path, set);
    if (!read.ok) {
        loaded.fault = ReferenceFileFault::Unreadable;
        loaded.detail = read.errorText;
        loaded.errorLine = read.errorLine;
        return loaded;
    }
    // An empty file would compare a blank set: every parameter would differ.
    if (read.applied.empty()) {
        loaded.fault = ReferenceFileFault::NoParameters;
        return loaded;
    }
    loaded.detail = RefusedReferenceLines(read.applied, catalogue.NewParameterSet(0));
    if (!loaded.detail.isEmpty()) {
        loaded.fault = ReferenceFileFault::Refused;
        return loaded;
    }
    loaded.reference.set = set;
    for (const RParameterFileLine& line : read.applied)
        loaded.reference.ids.push_back(line.id);
    loaded.reference.lines = read.applied;
    loaded.reference.name = QFileInfo(path).fileName();
    return loaded;
}
