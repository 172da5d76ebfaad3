#pragma once
#include <string>
#include <vector>

// Writes the whole file or leaves the old one as it was: the bytes go to
// "<name>.tmp" in the same folder, which then replaces the file in one step,
// so a reader never sees half a file. bToDisk: the new bytes reach the disk
// before they replace the old ones, so that a power cut leaves one or the
// other. Returns false (and removes the temporary file) when anything fails.
bool WriteFileAtomically(const std::string& strPath, const std::string& strBytes, bool bToDisk = false);

// "metrics.prom" in each folder (each ending in a path separator; empty ones
// are skipped). A folder that cannot be written is skipped; returns how many
// were written.
constexpr char METRICS_FILE_NAME[] = "metrics.prom";
int WriteMetricsFiles(const std::string& strText, const std::vector<std::string>& folders);
