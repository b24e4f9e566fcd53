#!/usr/bin/env python3
"""Reads an XML file with Python's own parser (expat), independently of libxml2, and prints
what it holds as JSON: the declaration, the nodes before and after the root, and the tree with
attributes in order and text exactly as parsed. Exit 1 with the parser's message when the file
is not well-formed."""
import json
import sys
import xml.parsers.expat


def read(path):
    with open(path, "rb") as f:
        data = f.read()
    parser = xml.parsers.expat.ParserCreate()
    parser.ordered_attributes = True
    result = {"declaration": None, "prolog": [], "root": None, "epilog": []}
    stack = []

    def outside():
        return result["prolog"] if result["root"] is None else result["epilog"]

    def on_decl(version, encoding, standalone):
        result["declaration"] = {"version": version, "encoding": encoding,
                                 "standalone": standalone}

    def on_start(name, attrs):
        element = {"name": name,
                   "attributes": [[attrs[i], attrs[i + 1]] for i in range(0, len(attrs), 2)],
                   "children": []}
        if stack:
            stack[-1]["children"].append(element)
        else:
            result["root"] = element
        stack.append(element)

    def on_end(name):
        stack.pop()

    def on_text(text):
        if not stack:
            return
        children = stack[-1]["children"]
        if children and isinstance(children[-1], str):
            children[-1] += text
        else:
            children.append(text)

    def on_comment(text):
        if stack:
            return
        outside().append(["comment", text])

    def on_pi(target, data):
        if stack:
            return
        outside().append(["pi", target, data])

    parser.XmlDeclHandler = on_decl
    parser.StartElementHandler = on_start
    parser.EndElementHandler = on_end
    parser.CharacterDataHandler = on_text
    parser.CommentHandler = on_comment
    parser.ProcessingInstructionHandler = on_pi
    parser.Parse(data, True)
    return result


def main():
    try:
        result = read(sys.argv[1])
    except xml.parsers.expat.ExpatError as error:
        print(str(error), file=sys.stderr)
        return 1
    json.dump(result, sys.stdout, ensure_ascii=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
