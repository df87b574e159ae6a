#include "utility/Matrix.h"

#include <cmath>
#include <cstring>

void makeIdentity(float* m)
{
    for (int i = 0; i < 16; ++i)
        m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

void multiplyMatrices(const float* a, const float* b, float* r)
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r[i * 4 + j] = a[i * 4 + 0] * b[0 * 4 + j] + a[i * 4 + 1] * b[1 * 4 + j] +
                           a[i * 4 + 2] * b[2 * 4 + j] + a[i * 4 + 3] * b[3 * 4 + j];
}

void multiplyMatrixVector(const float* m, const float* v, float* out)
{
    float result[4];
    for (int i = 0; i < 4; ++i)
        result[i] = v[0] * m[0 * 4 + i] + v[1] * m[1 * 4 + i] + v[2] * m[2 * 4 + i] + v[3] * m[3 * 4 + i];
    std::memcpy(out, result, sizeof(result));
}

bool invertMatrix(const float* m, float* out)
{
    float temp[4][4];
    std::memcpy(temp, m, sizeof(temp));
    float inverse[4][4];
    makeIdentity(&inverse[0][0]);

    for (int i = 0; i < 4; ++i)
    {
        // The pivot is the last lower row whose entry exceeds row i's.
        int swap = i;
        for (int j = i + 1; j < 4; ++j)
            if (std::fabs(temp[j][i]) > std::fabs(temp[i][i]))
                swap = j;
        if (swap != i)
        {
            for (int k = 0; k < 4; ++k)
            {
                float t = temp[i][k];
                temp[i][k] = temp[swap][k];
                temp[swap][k] = t;
                t = inverse[i][k];
                inverse[i][k] = inverse[swap][k];
                inverse[swap][k] = t;
            }
        }
        if (temp[i][i] == 0.0f)
        {
            std::memcpy(out, inverse, sizeof(inverse));
            return false;
        }
        const float pivot = temp[i][i];
        for (int k = 0; k < 4; ++k)
        {
            temp[i][k] /= pivot;
            inverse[i][k] /= pivot;
        }
        for (int j = 0; j < 4; ++j)
        {
            if (j == i)
                continue;
            const float factor = temp[j][i];
            for (int k = 0; k < 4; ++k)
            {
                temp[j][k] -= temp[i][k] * factor;
                inverse[j][k] -= inverse[i][k] * factor;
            }
        }
    }
    std::memcpy(out, inverse, sizeof(inverse));
    return true;
}

bool unprojectPoint(float x, float y, float z, const float* inverse, const int* viewport,
                    float* ox, float* oy, float* oz)
{
    float in[4];
    in[0] = (x - static_cast<float>(viewport[0])) / static_cast<float>(viewport[2]);
    in[1] = (y - static_cast<float>(viewport[1])) / static_cast<float>(viewport[3]);
    in[2] = z;
    for (int i = 0; i < 3; ++i)
        in[i] = in[i] * 2.0f - 1.0f;
    in[3] = 1.0f;

    float result[4];
    multiplyMatrixVector(inverse, in, result);
    if (result[3] == 0.0f)
        return false;
    *ox = result[0] / result[3];
    *oy = result[1] / result[3];
    *oz = result[2] / result[3];
    return true;
}
