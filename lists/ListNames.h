#pragma once

#include "lists/SListDefinition.h"

#include <string>
#include <string_view>
#include <vector>

// A name as the list writes it, in the form the index keeps it: a host or a
// registrable domain normalised, a reversed name put the right way round, an
// origin as lower-case "scheme://host" without a trailing slash. Empty when
// the text is no name of that form.
std::string IndexedName(std::string_view strText, EListNames names);

// The host of a row's domain text: without a scheme, a path, a port or a
// trailing dot, in lower case.
std::string RowHost(std::string_view strDomain);

// The names a row asks of the list, in the order they are tried.
std::vector<std::string> LookupNames(std::string_view strDomain, EListLookup lookup);
