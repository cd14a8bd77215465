// rizeroz-example: reads a RIZ Eroz data file, prints what it holds, and writes it out
// again with expressions where they are shorter. The usage example of the README.
#include <RODAzivUzirAdovIzozari.h>

#include <stdio.h>

int main(int argc, char** argv)
{
    if (argc < 3)
    {
        fprintf(stderr, "usage: rizeroz-example DIRECTORY FILE [OUTPUT]\n");
        return 2;
    }

    RODAzivUzirAdovIzozari reader;
    int result = reader.InitSvfPlusDataFile(argv[2], argv[1], "read");
    if (result >= 0)
        result = reader.Read();
    if (result < 0)
    {
        const ErrorReport* report = reader.GetErrorHandler()->GetFailure();
        fprintf(stderr, "%s\n", report != nullptr ? report->GetMessage() : "reading failed");
        return 1;
    }

    // A document whose root element is another is read without a model.
    SVFPlusData* model = reader.GetSVFPlusData();
    if (model == nullptr)
    {
        fprintf(stderr, "%s holds no SVF_Plus_Data root element\n", argv[2]);
        return 1;
    }
    printf("version %s, comment: %s\n", model->GetVersion() ? model->GetVersion() : "(none)",
           model->GetComment() ? model->GetComment() : "(none)");
    for (int i = 0; i < model->GetDataFieldCount(); ++i)
    {
        SVFDataField* field = model->GetDataField(i);
        printf("field %s, checksum 0x%04x\n", field->GetFieldName(), field->m_nChecksum);
        for (int j = 0; j < field->GetFieldBlockCount(); ++j)
        {
            SVFDataField::DataBlock* block = field->GetDataBlock(j);
            for (int k = 1; k <= block->GetNumberOfRows(); ++k)
            {
                UtByteBuffer* row = block->GetRow(k);
                printf("  block %d (%d bits) row %d: ", j, block->m_nRowWidth, k);
                for (unsigned int b = 0; b < row->GetTotalSize(); ++b)
                    printf("%02X", row->ReadData((int)b));
                printf("\n");
            }
        }
    }

    if (argc > 3)
    {
        RODAzivUzirAdovIzozari writer;
        if (writer.InitSvfPlusDataFile(argv[3], argv[1], "write") != 0)
            return 1;
        writer.SetSVFPlusData(model);
        writer.WriteExpression(true);
        // Write returns 0 once it has begun; GetWriteError tells whether every byte
        // reached the file (SafeSave.h saves without ever destroying the old file).
        if (writer.Write() != 0 || writer.GetWriteError() != 0)
            return 1;
        printf("written to %s\n", writer.GetSVFPlusDataFilename());
    }
    return 0;
}
