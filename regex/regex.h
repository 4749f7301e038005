// The pattern engine: the one header the rest of the system includes.
#pragma once

#include "regex/backref_tag.h"
#include "regex/bad_regexpr.h"
#include "regex/compiled_pattern.h"
#include "regex/match_backrefs.h"
#include "regex/match_limits.h"
#include "regex/pattern_flags.h"
