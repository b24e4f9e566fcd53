#pragma once

#include "components/xml/xmldocument.h"

#include <QString>

// Writing a Yedra exchange document inside the document that was read: the envelope is
// rebuilt in place, so whatever stood outside the old root (declaration, comments, processing
// instructions) is saved again before the new one.
namespace yedra {

// The old BLOQUE_DATOS and SERVICIO leave the document; a new SERVICIO with, in this order,
// modulo="HORARIOS" tipo="I" autor="YEDRA" fecha=`fecha` takes their place, holding one empty
// BLOQUE_DATOS, which is returned. Throws XmlError when the document has no
// /SERVICIO/BLOQUE_DATOS.
XmlNode rebuildEnvelope(XmlDocument& document, const QString& fecha);

// A group or record: grupo_datos with seq (and registros after it), appended to `parent`.
XmlNode appendGroup(XmlDocument& document, XmlNode parent, const QString& seq);
XmlNode appendGroup(XmlDocument& document, XmlNode parent, const QString& seq, qint64 registros);

// A value: dato with nombre_dato and the value as its text (empty: no content).
void appendValue(XmlDocument& document, XmlNode group, const QString& nombreDato,
                 const QString& value);

// The same, written straight into a document being saved: a group is started (and later ended
// with endGroup), a value written whole.
void startGroup(XmlPartWriter& writer, const QString& seq);
void startGroup(XmlPartWriter& writer, const QString& seq, qint64 registros);
void endGroup(XmlPartWriter& writer);
void writeValue(XmlPartWriter& writer, const QString& nombreDato, const QString& value);

} // namespace yedra
