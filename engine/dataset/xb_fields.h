// The dataset's own field classes (dates in the engine's date picture with blank dates; numbers that
// carry the DBF width as their size), the memo blob stream and the date conversions between the engine's
// date text and the dataset's day numbers.
#pragma once

#include <cstdint>
#include <string>

#include "engine/dataset/dataset_framework.h"

namespace xb {

class TXbDataSet;

// Date text in the engine's picture to a day number since 30 Dec 1899; 0 for the blank date. Other text
// is read as the system's date form (YYYY-MM-DD) when useSystemFormat is set. False when the text is no
// date.
bool DbfDateToDateTime(const std::string& text, bool useSystemFormat, double& value);
// The same, 0 for text that is no date.
double DbfDateToDateTime(const std::string& text, bool useSystemFormat);
// A day number as date text in the engine's picture.
std::string DateTimeToDbfDate(double value);

// Takes the engine's date settings from the system's short date format ("dd.MM.yyyy", "M/d/yy", ...) and
// the number separators (kept for what users type; files and keys always use ".").
void SetDateFormatFromLocale(const std::string& shortDateFormat, char decimalSep, char thousandsSep);

class TXbDateField : public TDateField {
public:
    // The date in the engine's picture; empty for a null date.
    std::string GetAsString() const override;
    std::string GetText() const override;
    // Blanks (or the blank date text) give null; other text must be a date in the engine's picture or
    // the system's form, else the message "        Invalid date       " is shown and the date is null.
    void SetAsString(const std::string& text) override;
};

class TXbIntegerField : public TIntegerField {
public:
    void CheckTypeSize(int size) override;
};

class TXbFloatField : public TFloatField {
public:
    void CheckTypeSize(int size) override;
};

// One memo field of the active record read or written as a stream, over the memo engine's blob access.
class TXbBlobStream : public TStream {
public:
    TXbBlobStream(TField& field, TBlobStreamMode mode, bool oem);
    ~TXbBlobStream() override;
    long Read(void* buffer, long count) override;
    long Write(const void* buffer, long count) override;
    long Seek(long offset, int origin) override;

private:
    TField& m_field;
    TXbDataSet& m_dataSet;
    bool m_modified = false;
    bool m_writeMode = false;
    bool m_open = false;
};

}  // namespace xb
