#pragma once

#include "components/xml/xmldocument.h"

namespace yedra {

// Keeps of a Yedra document its envelope: everything but what stands in /SERVICIO/BLOQUE_DATOS
// (the first such block) after its first child that is an element or a text, with what stands
// before that child: all a document written in place of this one needs of it. An xml:space on
// the root or on an element directly in it would make blank text count: nothing is left out
// then.
class EnvelopeFilter : public XmlParseHook {
public:
    unsigned calls() const override { return StartCalls | EndCalls | ContentCalls; }
    bool startElement(const StartTag& tag, int depth) override;
    Afterwards endElement(XmlNode element, int depth) override;
    bool content(Content kind, QByteArrayView text, int depth) override;

private:
    // Whether content directly in the block, at this depth, is past its first element or
    // text: content that is left out. Markup after a text ends that text.
    bool pastTheFirst(int depth, bool markup);

    bool m_active = true;
    bool m_rootIsServicio = false;
    bool m_blockSeen = false; // the first BLOQUE_DATOS under SERVICIO has started
    bool m_inBlock = false;
    bool m_textStarted = false; // a text that is not blank stands in the block
    bool m_firstDone = false;   // the block's first element or text is complete
};

} // namespace yedra
