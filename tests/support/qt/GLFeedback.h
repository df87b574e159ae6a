#ifndef NUVARO_TESTS_QT_GLFEEDBACK_H
#define NUVARO_TESTS_QT_GLFEEDBACK_H

#include <functional>
#include <vector>

// Runs the drawing in GL feedback mode (GL_3D) with the current context and
// returns the polygons' window vertices: x, y, z per vertex, one vector per
// polygon, in the order they were drawn. Any other feedback token fails the
// running test.
std::vector<std::vector<float>> FeedbackPolygons(const std::function<void()>& draw);

#endif
