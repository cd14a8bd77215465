// Holds a model for the time of a write to a caller's sink (SVFPlusData::Hold): the sink's
// code runs in that time, and a change it made to the model would pull the text from under
// the writer, so the C interface refuses one while the model is held. A model held already
// (a write started from inside another write's sink) is not written again. Internal to the
// library: the writers to a sink (SafeSave.cpp, JsonWrite.cpp) make one.
#ifndef RIZEROZ_MODELHOLD_H
#define RIZEROZ_MODELHOLD_H

#include "ErrorHandler.h"
#include "ResultCodes.h"
#include "SVFPlusData.h"

class SVFModelHold
{
public:
    // Holds `model` (not null); a failure is reported on `errors` (may be null) as the
    // write of `name` on list `list`.
    SVFModelHold(SVFPlusData* model, ErrorHandler* errors, const char* name, unsigned long list)
        : m_pModel(model), m_nResult(0)
    {
        if (model->IsHeld())
            m_nResult = SVF_ERR_BUSY;
        else if (!model->Hold())
            m_nResult = SVF_ERR_NO_MEMORY;
        if (m_nResult == SVF_ERR_BUSY && errors != nullptr)
            errors->AddReport(m_nResult, list, name, name, 0, 0,
                              "the model is being written already: a sink of that write cannot write it again");
    }
    ~SVFModelHold()
    {
        if (m_nResult == 0)
            m_pModel->Unhold();
    }
    SVFModelHold(const SVFModelHold&) = delete;
    SVFModelHold& operator=(const SVFModelHold&) = delete;

    // 0 when the model is held, else SVF_ERR_BUSY or SVF_ERR_NO_MEMORY.
    int Result() const { return m_nResult; }

private:
    SVFPlusData* m_pModel;
    int m_nResult;
};

#endif
