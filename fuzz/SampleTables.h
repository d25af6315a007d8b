#pragma once

#include <QString>

// Writes a valid saved table holding `rows` readings, through the program's own save path (a
// working table filled by appendRow, then CopyTableToFile). On failure error says why.
bool writeSampleTable(const QString &fileName, int rows, QString *error);
