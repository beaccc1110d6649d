#pragma once

#include <QString>

// A fresh identifier for one book, "urn:uuid:" followed by a lower-case,
// hyphenated UUID. The package document and the navigation document carry
// the same one, so a book is made with one call.
QString MakeBookIdentifier();
