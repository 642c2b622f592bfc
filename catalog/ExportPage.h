#pragma once

// The page of an HTML export around its data: everything it needs is inline, so it opens from a
// disc or a mail without a network. The data goes between the two, as a JSON object inside
// <script type="application/json">, and must not hold "<" (see AppendJsonText).
extern const char *const ExportPageHead;
extern const char *const ExportPageTail;
