#pragma once

#include "components/platform/engineerror.h"

#include <QString>

// A failing operation of the XML document layer: a node used wrongly, a name or text XML does
// not allow, a document that cannot be written.
class XmlError : public EngineError {
public:
    using EngineError::EngineError;
};

// Why a document could not be loaded: the parser's reason and where it stopped (line and
// column from 1; 0 when the file could not be read at all).
struct XmlParseError {
    QString reason;
    int line = 0;
    int column = 0;

    bool isNull() const { return reason.isEmpty(); }
    // "reason (línea N, columna M)", or the reason alone when there is no position.
    QString toString() const;
};
