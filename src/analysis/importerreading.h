#pragma once

#include "exportitem.h"

#include <QByteArrayView>

// WordPress's importer, when its XML parsers give up on an export, reads each item by searching
// its text: a field is what lies between the first `<name…>` and the next `</name>`. Text in one
// enclosing CDATA section is taken as it stands, `]]>` in it included; where the text holds
// `]]]]><![CDATA[>` (an export's escape of `]]>`), the contents of its CDATA sections are joined.
// Outside CDATA, XML's predefined entities and character references are decoded and anything
// else, a bare `&` among them, is kept as it stands. The text is the item's raw bytes from its
// `<item>` start tag on; line ends become LF and bytes that are not UTF-8 U+FFFD, as for every
// other item, and the title leaves out the characters XML forbids.
ExportItem readItemAsImporter(QByteArrayView itemText);
