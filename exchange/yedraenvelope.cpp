#include "exchange/yedraenvelope.h"

namespace yedra {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

} // namespace

bool EnvelopeFilter::pastTheFirst(int depth, bool markup)
{
    if (!m_inBlock || depth != 2)
        return false;
    if (markup && m_textStarted)
        m_firstDone = true;
    return m_firstDone;
}

bool EnvelopeFilter::startElement(const StartTag& tag, int depth)
{
    if (!m_active)
        return true;
    if (depth <= 1 && tag.hasAttribute("xml", "space")) {
        m_active = false;
        return true;
    }
    const bool plain = !tag.inNamespace();
    if (depth == 0)
        m_rootIsServicio = plain && tag.name() == "SERVICIO";
    if (depth == 1 && m_rootIsServicio && !m_blockSeen && plain && tag.name() == "BLOQUE_DATOS") {
        m_blockSeen = true;
        m_inBlock = true;
    }
    return !pastTheFirst(depth, true);
}

XmlParseHook::Afterwards EnvelopeFilter::endElement(XmlNode element, int depth)
{
    (void)element;
    if (m_active && m_inBlock && depth == 2)
        m_firstDone = true;
    if (m_active && m_inBlock && depth == 1)
        m_inBlock = false;
    return Afterwards::Keep;
}

bool EnvelopeFilter::content(Content kind, QByteArrayView text, int depth)
{
    if (!m_active)
        return true;
    const bool inBlock = m_inBlock && depth == 2;
    switch (kind) {
    case Content::Text:
        if (pastTheFirst(depth, false))
            return false;
        for (qsizetype i = 0; inBlock && i < text.size() && !m_textStarted; ++i)
            m_textStarted = !isBlank(text[i]);
        return true;
    case Content::CData:
        if (pastTheFirst(depth, true))
            return false;
        if (inBlock)
            m_firstDone = true;
        return true;
    case Content::Comment:
    case Content::ProcessingInstruction:
        break;
    }
    return !pastTheFirst(depth, true);
}

} // namespace yedra
