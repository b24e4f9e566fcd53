#include "exchange/yedrawriter.h"

namespace yedra {

XmlNode rebuildEnvelope(XmlDocument& document, const QString& fecha)
{
    XmlNode root = document.documentElement();
    const XmlNode block = document.selectSingleNode(QStringLiteral("/SERVICIO/BLOQUE_DATOS"));
    if (root.isNull() || block.isNull())
        throw XmlError(QStringLiteral(
            "El documento no tiene la estructura de Yedra: falta /SERVICIO/BLOQUE_DATOS."));
    root.removeChild(block);
    document.removeChild(document.selectSingleNode(QStringLiteral("/SERVICIO")));

    XmlNode servicio = document.createElement(QStringLiteral("SERVICIO"));
    servicio.setAttribute(QStringLiteral("modulo"), QStringLiteral("HORARIOS"));
    servicio.setAttribute(QStringLiteral("tipo"), QStringLiteral("I"));
    servicio.setAttribute(QStringLiteral("autor"), QStringLiteral("YEDRA"));
    servicio.setAttribute(QStringLiteral("fecha"), fecha);
    document.appendChild(servicio);

    XmlNode newBlock =
        document.createNode(XmlNode::Type::Element, QStringLiteral("BLOQUE_DATOS"), QString());
    document.selectSingleNode(QStringLiteral("/SERVICIO")).appendChild(newBlock);
    return newBlock;
}

XmlNode appendGroup(XmlDocument& document, XmlNode parent, const QString& seq)
{
    XmlNode group = document.createElement(QStringLiteral("grupo_datos"));
    group.setAttribute(QStringLiteral("seq"), seq);
    parent.appendChild(group);
    return group;
}

XmlNode appendGroup(XmlDocument& document, XmlNode parent, const QString& seq, qint64 registros)
{
    XmlNode group = document.createElement(QStringLiteral("grupo_datos"));
    group.setAttribute(QStringLiteral("seq"), seq);
    group.setAttribute(QStringLiteral("registros"), registros);
    parent.appendChild(group);
    return group;
}

void appendValue(XmlDocument& document, XmlNode group, const QString& nombreDato,
                 const QString& value)
{
    XmlNode dato = document.createElement(QStringLiteral("dato"));
    dato.setAttribute(QStringLiteral("nombre_dato"), nombreDato);
    dato.setText(value);
    group.appendChild(dato);
}

void startGroup(XmlPartWriter& writer, const QString& seq)
{
    writer.startElement(QStringLiteral("grupo_datos"));
    writer.setAttribute(QStringLiteral("seq"), seq);
}

void startGroup(XmlPartWriter& writer, const QString& seq, qint64 registros)
{
    startGroup(writer, seq);
    writer.setAttribute(QStringLiteral("registros"), registros);
}

void endGroup(XmlPartWriter& writer)
{
    writer.endElement();
}

void writeValue(XmlPartWriter& writer, const QString& nombreDato, const QString& value)
{
    writer.startElement(QStringLiteral("dato"));
    writer.setAttribute(QStringLiteral("nombre_dato"), nombreDato);
    writer.addText(value);
    writer.endElement();
}

} // namespace yedra
