// A caller of the installed library: checks that the headers, the library loaded and the
// package that found them (RIZEROZ_FOUND_VERSION, from CMake or pkg-config) name one
// version, writes a small model, reads it back, and checks that the rows came back
// unchanged, also through the C interface. Compiled as C++11 against the installed headers.
#include <RODAzivUzirAdovIzozari.h>
#include <RizErozVersion.h>
#include <SVPExpression.h>
#include <rizeroz.h>

#include <stdio.h>
#include <string.h>

int main(int argc, char** argv)
{
    const char* dir = argc > 1 ? argv[1] : ".";
    if (strcmp(rz_version(), RIZEROZ_VERSION_STRING) != 0 || strcmp(RIZEROZ_FOUND_VERSION, RIZEROZ_VERSION_STRING) != 0)
    {
        fprintf(stderr, "consumer: library %s, headers %s, package %s\n", rz_version(), RIZEROZ_VERSION_STRING,
                RIZEROZ_FOUND_VERSION);
        return 7;
    }

    SVFPlusData model;
    model.SetVersion("2.1");
    SVFDataField* field = model.AddDataField();
    field->SetFieldName("Usercode_MASK");
    field->m_nChecksum = 0x1a2b;
    UtByteBuffer* row = field->AddRow(16);
    row->WriteData((unsigned char)0x12);
    row->WriteData((unsigned char)0x34);

    RODAzivUzirAdovIzozari writer;
    if (writer.InitSvfPlusDataFile("consumer.xml", dir, "write") != 0)
        return 1;
    writer.SetSVFPlusData(&model);
    if (writer.Write() != 0)
        return 2;

    RODAzivUzirAdovIzozari reader;
    if (reader.InitSvfPlusDataFile("consumer.xml", dir, "read") < 0 || reader.Read() != 0)
        return 3;
    SVFPlusData* back = reader.GetSVFPlusData();
    SVFDataField* got = back != NULL ? back->GetDataField(0) : NULL;
    if (got == NULL || strcmp(got->GetFieldName(), "Usercode_MASK") != 0 || got->m_nChecksum != 0x1a2b)
        return 4;
    UtByteBuffer* gotRow = got->GetDataBlock(0)->GetRow(1);
    if (gotRow->GetTotalSize() != 2 || gotRow->ReadData(0) != 0x12 || gotRow->ReadData(1) != 0x34)
        return 5;

    SVPExpression expression;
    expression.Initialize(NULL);
    char out[16];
    if (expression.GetBitStream("(FF*2)", out, (int)sizeof(out)) < 0)
        return 6;

    // The C interface: the same file through rizeroz.h, compiled here as C++11.
    rz_model* viaC = NULL;
    char path[1024];
    snprintf(path, sizeof(path), "%s/consumer.xml", dir);
    if (rz_read(path, 0, &viaC, NULL) != 0 || rz_block_row_count(rz_field_block(rz_model_field(viaC, 0), 0)) != 1)
        return 8;
    rz_model_free(viaC);
    printf("consumer: rizeroz %s read back %s with %u bytes; expression gives %s\n", rz_version(), got->GetFieldName(),
           gotRow->GetTotalSize(), out);
    return 0;
}
