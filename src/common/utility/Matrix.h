#ifndef NUVARO_UTILITY_MATRIX_H
#define NUVARO_UTILITY_MATRIX_H

// 4 x 4 float matrices as 16 floats in OpenGL's column order: what it takes to
// turn a window point back into scene coordinates.

void makeIdentity(float* m);
// r[i*4+j] = sum_k a[i*4+k] * b[k*4+j]. With a = model-view and b = projection
// as OpenGL returns them, r is projection x model-view. r must not alias a or b.
void multiplyMatrices(const float* a, const float* b, float* r);
// out = m * v for a column-order m.
void multiplyMatrixVector(const float* m, const float* v, float* out);
// Gauss-Jordan with partial pivoting; false when the matrix is singular.
// m and out may be the same matrix.
bool invertMatrix(const float* m, float* out);
// Maps window (x, y) at depth z through the inverse of projection x model-view;
// false when the point lies at infinity.
bool unprojectPoint(float x, float y, float z, const float* inverse, const int* viewport,
                    float* ox, float* oy, float* oz);

#endif
