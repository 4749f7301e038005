// The string table: every text the window shows by number, with its English
// text. An X-macro list: the includer defines TALLYVINE_STRING(id, text).
// The texts are marked for the translation tools under the context
// "CStringTable"; a language pack replaces them there.

TALLYVINE_STRING(101, QT_TRANSLATE_NOOP("CStringTable", "About Tallyvine(&A)..."))
TALLYVINE_STRING(102, QT_TRANSLATE_NOOP("CStringTable", "Tallyvine"))
TALLYVINE_STRING(103, QT_TRANSLATE_NOOP("CStringTable", "Querying %s"))
TALLYVINE_STRING(104, QT_TRANSLATE_NOOP("CStringTable", "No"))
TALLYVINE_STRING(105, QT_TRANSLATE_NOOP("CStringTable", "Domain name"))
TALLYVINE_STRING(106, QT_TRANSLATE_NOOP("CStringTable", "PR"))
TALLYVINE_STRING(107, QT_TRANSLATE_NOOP("CStringTable", "GSite"))
TALLYVINE_STRING(108, QT_TRANSLATE_NOOP("CStringTable", "GSearch1"))
TALLYVINE_STRING(109, QT_TRANSLATE_NOOP("CStringTable", "GSearch2"))
TALLYVINE_STRING(110, QT_TRANSLATE_NOOP("CStringTable", "BSite"))
TALLYVINE_STRING(111, QT_TRANSLATE_NOOP("CStringTable", "BSearch1"))
TALLYVINE_STRING(112, QT_TRANSLATE_NOOP("CStringTable", "BSearch2"))
TALLYVINE_STRING(113, QT_TRANSLATE_NOOP("CStringTable", "Exit?"))
TALLYVINE_STRING(114, QT_TRANSLATE_NOOP("CStringTable",
                                        "Please Input domain or url with correct format"))
TALLYVINE_STRING(115, QT_TRANSLATE_NOOP("CStringTable", "Ready"))
TALLYVINE_STRING(116, QT_TRANSLATE_NOOP("CStringTable", "Please stop work thread first"))
TALLYVINE_STRING(117, QT_TRANSLATE_NOOP("CStringTable", "Alexa"))
TALLYVINE_STRING(118, QT_TRANSLATE_NOOP("CStringTable", "GLink"))
TALLYVINE_STRING(119, QT_TRANSLATE_NOOP("CStringTable", "BLink"))
TALLYVINE_STRING(120, QT_TRANSLATE_NOOP("CStringTable", "The list could not be imported: %s"))
TALLYVINE_STRING(121, QT_TRANSLATE_NOOP("CStringTable", "The list could not be exported: %s"))
TALLYVINE_STRING(122,
                 QT_TRANSLATE_NOOP("CStringTable", "The score list is empty: no file was written."))
TALLYVINE_STRING(123, QT_TRANSLATE_NOOP("CStringTable", "The scan could not be started: %s"))
TALLYVINE_STRING(32771, QT_TRANSLATE_NOOP("CStringTable", "About Tallyvine"))
TALLYVINE_STRING(32772, QT_TRANSLATE_NOOP("CStringTable", "Exit Tallyvine"))
