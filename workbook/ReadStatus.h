#pragma once

// How reading a workbook file ended; the workbook reader turns it into the message the user sees.
enum class ReadStatus {
    Ok,
    // The bytes are not a spreadsheet of any format we read.
    NotASpreadsheet,
    // A spreadsheet format we know, but its contents are broken.
    Corrupt,
    // Encrypted with a password: its cells cannot be read without it.
    Encrypted,
    // More cells than we are willing to hold in memory.
    TooLarge,
};
