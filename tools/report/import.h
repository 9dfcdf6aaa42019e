// vantry-report import: price histories from CSV files into a fund file.
#ifndef VANTRY_REPORT_IMPORT_H
#define VANTRY_REPORT_IMPORT_H

// Runs "import" with the arguments after the word. Returns the exit code: 0 when the
// fund file was written (or nothing was new), 1 when the import failed, 2 on a usage
// error.
int RunImport(int argc, char **argv);

#endif
