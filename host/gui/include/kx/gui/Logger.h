// The host's data logger for one axis: which variables the drive logs
// during a test program's run (in column order after the time), how many
// points, from which loop and how often; the upload of the logged points,
// scaled to the variables' display units, into a graph document; and the
// saving of the record as CSV and PNG in the plot folder.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "kx/Comm.h"
#include "kx/gui/Graph.h"
#include "kx/gui/Gui.h"

class CKX_Setup;
class CKX_CoffFormat;
class CKX_Variable;

// Log types of ChangeSettings: which loop's period the logger samples.
inline constexpr int KX_LOG_SLOW_LOOP = 1;  // speed/position loop
inline constexpr int KX_LOG_FAST_LOOP = 2;  // current loop

// What a test hands to ExecuteCode to record its run: the data logger or
// the oscilloscope. ExecuteCode resolves its variables, then arms the drive
// with it before the program starts.
class KXGUI_API CKX_Logger {
public:
    virtual ~CKX_Logger();
    // Resolves the added variables; 0 (the reason in GetError) on failure.
    virtual int LocateItems() = 0;
    // Arms `link` for the next program start; 0 (the reason in `error`) on
    // failure.
    virtual int ArmDrive(kx::DriveLink& link, std::string& error) = 0;
    virtual const std::string& GetError() const = 0;
};

class KXGUI_API CKX_SingleAxisLogger : public CKX_Logger {
public:
    // `coff`: the test program whose variables are logged first by name
    // (null: the setup's drive variables only). Neither is owned.
    CKX_SingleAxisLogger(CKX_Setup& setup, CKX_CoffFormat* coff);
    ~CKX_SingleAxisLogger() override;
    CKX_SingleAxisLogger(const CKX_SingleAxisLogger&) = delete;
    CKX_SingleAxisLogger& operator=(const CKX_SingleAxisLogger&) = delete;

    // `points` samples, taken every `every`-th period (at least 1) of the
    // loop that `logType` names (KX_LOG_FAST_LOOP, KX_LOG_SLOW_LOOP).
    void ChangeSettings(unsigned short points, int logType, unsigned short every);
    // Adds a logged variable as the next column; the name is resolved by
    // LocateItems (program symbol first, else the setup's drive variable).
    // 0 for an empty or repeated name.
    int AddVariable(const char* name, int nSearch);
    // Lowers the number of points to what the drive's log buffer holds for
    // the variables added.
    void CorrectPointsNo();
    // Resolves every added name: its drive address and storage type, its
    // unit and scaling. 0 (the reason in GetError) when one is not found.
    int LocateItems() override;
    int ArmDrive(kx::DriveLink& link, std::string& error) override;

    // What the drive must record during the next run (ExecuteCode arms it).
    kx::LogSettings GetLogSettings() const;
    int GetPointsNo() const { return m_points; }
    int GetLogType() const { return m_logType; }
    int GetEvery() const { return m_every; }

    // Takes the logged points from the drive and empties the record; 0 (the
    // reason in GetError) when the drive cannot give them.
    int BeginUploadData();
    // Moves the next uploaded point into the record; nonzero while it did.
    virtual int ReadPoint(void* reserved);

    CGraphDocument* GetGraphDocument() { return &m_document; }

    // Lines written before the header of the CSV (name, value), e.g. the
    // figures a test measured on the record.
    void SetSummary(std::vector<std::pair<std::string, std::string>> summary) {
        m_summary = std::move(summary);
    }
    // Writes NAME.csv (the record) and NAME.png (the picture of the first
    // graph window drawing it) into the plot folder. On failure returns 0,
    // keeps the text in GetError and shows it over the graph's dialog.
    int SaveGraph(const char* name);
    // The paths the last successful SaveGraph wrote.
    const std::vector<std::string>& GetSavedFiles() const { return m_saved; }

    const std::string& GetError() const override { return m_error; }

private:
    struct Item {
        std::string name;
        kx::DriveSymbol symbol;
        bool located = false;
        bool scaled = false;  // a setup variable gives unit and scaling
        CKX_Variable* variable = nullptr;
    };
    double Scale(const Item& item, std::int64_t raw) const;

    CKX_Setup& m_setup;
    CKX_CoffFormat* m_coff;
    int m_points = 100;
    int m_logType = KX_LOG_FAST_LOOP;
    int m_every = 1;
    std::vector<Item> m_items;
    std::vector<kx::LogPoint> m_uploaded;
    std::size_t m_next = 0;
    CGraphDocument m_document;
    std::vector<std::pair<std::string, std::string>> m_summary;
    std::vector<std::string> m_saved;
    std::string m_error;
};
