#ifndef NUVARO_TESTS_QT_GLFEEDBACK_H
#define NUVARO_TESTS_QT_GLFEEDBACK_H

// What the GL draws, captured without reading pixels.

#include <GL/gl.h>

#include <functional>
#include <vector>

// Runs the drawing in GL feedback mode (GL_3D) with the current context and
// returns the polygons' window vertices: x, y, z per vertex, one vector per
// polygon, in the order they were drawn. Any other feedback token fails the
// running test.
std::vector<std::vector<float>> FeedbackPolygons(const std::function<void()>& draw);

// Runs the drawing in GL selection mode with an empty name stack of one
// entry (glLoadName works) and returns the hit records as GL wrote them
// (name count, nearest and farthest depth, names), up to 65536 entries. The
// drawing sets its own projection.
std::vector<GLuint> SelectionRecords(const std::function<void()>& draw);

// The names of the hits of SelectionRecords in the order they were recorded.
std::vector<GLuint> SelectedNames(const std::function<void()>& draw);

#endif
