// The small side files of the data directory: PRTFOLIO, SETTINGS and Index.
#ifndef VANTRY_SIDEFILES_H
#define VANTRY_SIDEFILES_H

#include "data/datadir.h"

// Every writer here (and the opt writer) first writes a temporary file beside its target
// in DataDir ("PRTFOLIO.tmp", "SETTINGS.tmp", "Index.tmp", "opt.tmp") and replaces the
// target only when every byte was written and the close succeeded, so that a failed
// write never costs the user the file stored before. Failures are reported where they
// happen; the old file stays as it was.

// PRTFOLIO: a 16-bit little-endian count, then that many shortNames, each ended by CR LF.
// Reading sets inPortfolio on every listed fund that is loaded (names compared without
// regard to case) and warns "Portfolio fund(s) not found: %s." with the others; a
// missing file changes nothing. Writing lists the inPortfolio funds in table order.
void ReadPortfolioFile(void);
void WritePortfolioFile(void);

// SETTINGS: the fifteen view-state bytes, the unzip program and a blank, then the default
// benchmark's shortName to the end of the file. Reading stops at the first illegal byte
// (the fields before it keep their new values) or a premature end; a default benchmark
// that names no loaded fund becomes empty. A missing file keeps the view state as it is.
void ReadSettingsFile(void);
// Writes the current view state. An unzip program whose path holds a blank is not
// stored (the blank is the field's terminator, and storing it would corrupt the
// default benchmark); the program then asks for it again on the next full update.
void WriteSettingsFile(void);

// Index: text lines "fund=index fund" (shortNames, at most 39 characters each). Reading
// replaces the indexName of every listed fund that is loaded; an index fund that is not
// loaded clears it and warns. Writing lists every fund with an indexName, sorted by
// shortName without regard to case; the fund table's order is left as it is.
void ReadIndexFile(void);
void WriteIndexFile(void);

// The longest fund or index name the Index file keeps.
#define INDEX_NAME_MAX 39

#endif
