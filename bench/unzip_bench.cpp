// Extraction throughput of the unzip action against a plain minizip read loop
// writing the same files, in the same run. Prints MB/s of both and their ratio
// (action / baseline; 1.0 means no overhead).
#include <windows.h>
#include <minizip/unzip.h>
#include <zlib.h>

#include <stdio.h>
#include <string>
#include <vector>

#include "action_types.h"
#include "update_engine.h"

namespace {

const int kFiles = 40;
const int kFileBytes = 256 * 1024;

void Put16(std::string& s, unsigned v) {
    s += (char)(v & 0xFF);
    s += (char)((v >> 8) & 0xFF);
}
void Put32(std::string& s, unsigned v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

std::string Deflate(const std::string& data) {
    z_stream z = {};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, (uLong)data.size()), '\0');
    z.next_in = (Bytef*)data.data();
    z.avail_in = (uInt)data.size();
    z.next_out = (Bytef*)&out[0];
    z.avail_out = (uInt)out.size();
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// Deflated entries of half-compressible data in a few sub-folders.
std::string BuildArchive() {
    std::string out, central;
    unsigned seed = 12345;
    for (int i = 0; i < kFiles; i++) {
        std::string data(kFileBytes, '\0');
        for (int j = 0; j < kFileBytes; j++) {
            seed = seed * 1103515245 + 12345;
            data[j] = (j & 1) ? (char)(seed >> 24) : (char)(j % 61);
        }
        std::string packed = Deflate(data);
        char name[64];
        snprintf(name, sizeof(name), "dir%d/file%02d.bin", i % 4, i);
        unsigned crc = crc32(0, (const Bytef*)data.data(), (uInt)data.size());
        std::string head;
        Put16(head, 20);
        Put16(head, 0);
        Put16(head, 8);
        Put16(head, 0x6000);
        Put16(head, 0x5421);
        Put32(head, crc);
        Put32(head, (unsigned)packed.size());
        Put32(head, (unsigned)data.size());
        Put16(head, (unsigned)strlen(name));
        Put16(head, 0);
        unsigned offset = (unsigned)out.size();
        out += std::string("PK\x03\x04", 4) + head + name + packed;
        central += std::string("PK\x01\x02", 4);
        Put16(central, 20);
        central += head;
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put32(central, 0x20);
        Put32(central, offset);
        central += name;
    }
    unsigned cd = (unsigned)out.size();
    out += central;
    out += std::string("PK\x05\x06", 4);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, kFiles);
    Put16(out, kFiles);
    Put32(out, (unsigned)central.size());
    Put32(out, cd);
    Put16(out, 0);
    return out;
}

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b) {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return (double)(b.QuadPart - a.QuadPart) / (double)f.QuadPart;
}

// The baseline: what any extractor has to do, and nothing else.
bool PlainExtract(const char* zipPath, const std::string& where) {
    unzFile z = unzOpen(zipPath);
    if (!z)
        return false;
    std::vector<char> buf(64 * 1024);
    int r = unzGoToFirstFile(z);
    while (r == UNZ_OK) {
        char name[260];
        unz_file_info info;
        unzGetCurrentFileInfo(z, &info, name, sizeof(name), NULL, 0, NULL, 0);
        std::string target = where + "\\" + name;
        for (char& c : target)
            if (c == '/')
                c = '\\';
        CreateDirectoryA(target.substr(0, target.rfind('\\')).c_str(), NULL);
        HANDLE f = CreateFileA(target.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        unzOpenCurrentFile(z);
        int got;
        while ((got = unzReadCurrentFile(z, buf.data(), (unsigned)buf.size())) > 0) {
            DWORD w;
            WriteFile(f, buf.data(), (DWORD)got, &w, NULL);
        }
        unzCloseCurrentFile(z);
        CloseHandle(f);
        r = unzGoToNextFile(z);
    }
    unzClose(z);
    return true;
}

}  // namespace

int main() {
    char temp[MAX_PATH];
    GetTempPathA(sizeof(temp), temp);
    std::string base = std::string(temp) + "zorvet_unzip_bench";
    DeleteFolderTree(base.c_str());
    CreateDirectoryA(base.c_str(), NULL);
    std::string zip = base + "\\bench.zip";
    std::string bytes = BuildArchive();
    FILE* f = fopen(zip.c_str(), "wb");
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    double mb = (double)kFiles * kFileBytes / (1024.0 * 1024.0);
    printf("archive: %d files, %.1f MB unpacked, %.1f MB packed\n", kFiles, mb, bytes.size() / (1024.0 * 1024.0));

    double bestAction = 1e9, bestPlain = 1e9;
    for (int round = 0; round < 5; round++) {
        std::string out1 = base + "\\plain", out2 = base + "\\action";
        DeleteFolderTree(out1.c_str());
        DeleteFolderTree(out2.c_str());
        CreateDirectoryA(out1.c_str(), NULL);
        LARGE_INTEGER a, b;
        QueryPerformanceCounter(&a);
        PlainExtract(zip.c_str(), out1);
        QueryPerformanceCounter(&b);
        bestPlain = std::min(bestPlain, Seconds(a, b));

        CUnzipAction action;
        action.SetAttribute("file", zip.c_str());
        action.SetAttribute("where", out2.c_str());
        QueryPerformanceCounter(&a);
        BOOL ok = action.Execute();
        QueryPerformanceCounter(&b);
        if (!ok) {
            printf("unzip action failed\n");
            return 1;
        }
        bestAction = std::min(bestAction, Seconds(a, b));
    }
    printf("plain minizip loop: %.1f MB/s\n", mb / bestPlain);
    printf("unzip action:       %.1f MB/s\n", mb / bestAction);
    printf("ratio (action/plain throughput): %.2f\n", bestPlain / bestAction);
    DeleteFolderTree(base.c_str());
    DeleteFileA("updater.log");
    return 0;
}
