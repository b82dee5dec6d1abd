// ScreenText, the screen-text module both programs link: recognition of a bitmap into lines,
// reading order with two-column detection, the bounded plain-text reference for prompts, and
// the validation of passages the model copies out of the lines.
#pragma once

#include "screentext/errors.h"
#include "screentext/extraction.h"
#include "screentext/line.h"
#include "screentext/reading_order.h"
#include "screentext/recognition.h"
#include "screentext/reference_text.h"
