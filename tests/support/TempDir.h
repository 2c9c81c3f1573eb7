#pragma once

#include <string>

// A fresh folder under /tmp for one test, removed with everything in it.
class CTestDir final
{
public:
    CTestDir();
    ~CTestDir();
    CTestDir(const CTestDir&) = delete;
    CTestDir& operator=(const CTestDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Small file helpers for tests.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

// Live processes whose environment holds BATTSIM_FAKE_MARKER=<marker>: a
// test sets the marker so that every process it starts can be found again.
int ProcessesWithMarker(const std::string& marker);

// True once no such process is left; a killed process may take a moment to
// go, so this looks again for up to two seconds.
bool NoProcessLeft(const std::string& marker);

// A tmpfs of `kilobytes` mounted at `path` while the object lives (root only).
class CTinyMount final
{
public:
    CTinyMount(const std::string& path, int kilobytes, bool readOnly = false);
    ~CTinyMount();
    bool Mounted() const { return m_bMounted; }
    void Remount(bool readOnly);

private:
    std::string m_path;
    int m_nKilobytes;
    bool m_bMounted = false;
};
