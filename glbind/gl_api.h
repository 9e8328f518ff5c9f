// gl_api.h - the OpenGL and GLU entry points the program binds, one list each.
//
// X(ret, name, params, args). Everything that needs the names is made from
// these lists: the binding tables, the binding loops, the recording GL used
// by the tests and any trace wrapper. The program links no GL library; the
// headers only give the types and constants.
#pragma once

#include <GL/gl.h>

// OpenGL 1.1: every entry point the program calls.
#define GL_API_LIST(X) \
    X(void, glAlphaFunc, (GLenum func, GLclampf ref), (func, ref)) \
    X(void, glBegin, (GLenum mode), (mode)) \
    X(void, glBindTexture, (GLenum target, GLuint texture), (target, texture)) \
    X(void, glBlendFunc, (GLenum sfactor, GLenum dfactor), (sfactor, dfactor)) \
    X(void, glClear, (GLbitfield mask), (mask)) \
    X(void, glClearColor, (GLclampf r, GLclampf g, GLclampf b, GLclampf a), (r, g, b, a)) \
    X(void, glClearDepth, (GLclampd depth), (depth)) \
    X(void, glClearStencil, (GLint s), (s)) \
    X(void, glColor3f, (GLfloat r, GLfloat g, GLfloat b), (r, g, b)) \
    X(void, glColor4f, (GLfloat r, GLfloat g, GLfloat b, GLfloat a), (r, g, b, a)) \
    X(void, glColorMask, (GLboolean r, GLboolean g, GLboolean b, GLboolean a), (r, g, b, a)) \
    X(void, glColorPointer, (GLint size, GLenum type, GLsizei stride, const GLvoid* ptr), (size, type, stride, ptr)) \
    X(void, glCopyTexImage2D, (GLenum target, GLint level, GLenum internalformat, GLint x, GLint y, GLsizei width, GLsizei height, GLint border), (target, level, internalformat, x, y, width, height, border)) \
    X(void, glCullFace, (GLenum mode), (mode)) \
    X(void, glDeleteTextures, (GLsizei n, const GLuint* textures), (n, textures)) \
    X(void, glDepthFunc, (GLenum func), (func)) \
    X(void, glDepthMask, (GLboolean flag), (flag)) \
    X(void, glDisable, (GLenum cap), (cap)) \
    X(void, glDisableClientState, (GLenum cap), (cap)) \
    X(void, glDrawElements, (GLenum mode, GLsizei count, GLenum type, const GLvoid* indices), (mode, count, type, indices)) \
    X(void, glEnable, (GLenum cap), (cap)) \
    X(void, glEnableClientState, (GLenum cap), (cap)) \
    X(void, glEnd, (void), ()) \
    X(void, glFinish, (void), ()) \
    X(void, glFogf, (GLenum pname, GLfloat param), (pname, param)) \
    X(void, glFogfv, (GLenum pname, const GLfloat* params), (pname, params)) \
    X(void, glFogi, (GLenum pname, GLint param), (pname, param)) \
    X(void, glGenTextures, (GLsizei n, GLuint* textures), (n, textures)) \
    X(GLenum, glGetError, (void), ()) \
    X(void, glGetFloatv, (GLenum pname, GLfloat* params), (pname, params)) \
    X(void, glGetIntegerv, (GLenum pname, GLint* params), (pname, params)) \
    X(const GLubyte*, glGetString, (GLenum name), (name)) \
    X(void, glHint, (GLenum target, GLenum mode), (target, mode)) \
    X(void, glInitNames, (void), ()) \
    X(void, glLightf, (GLenum light, GLenum pname, GLfloat param), (light, pname, param)) \
    X(void, glLightfv, (GLenum light, GLenum pname, const GLfloat* params), (light, pname, params)) \
    X(void, glLineWidth, (GLfloat width), (width)) \
    X(void, glLoadIdentity, (void), ()) \
    X(void, glLoadName, (GLuint name), (name)) \
    X(void, glMaterialfv, (GLenum face, GLenum pname, const GLfloat* params), (face, pname, params)) \
    X(void, glMateriali, (GLenum face, GLenum pname, GLint param), (face, pname, param)) \
    X(void, glMatrixMode, (GLenum mode), (mode)) \
    X(void, glNormalPointer, (GLenum type, GLsizei stride, const GLvoid* ptr), (type, stride, ptr)) \
    X(void, glPixelStorei, (GLenum pname, GLint param), (pname, param)) \
    X(void, glPointSize, (GLfloat size), (size)) \
    X(void, glPopMatrix, (void), ()) \
    X(void, glPushMatrix, (void), ()) \
    X(void, glPushName, (GLuint name), (name)) \
    X(void, glRasterPos3f, (GLfloat x, GLfloat y, GLfloat z), (x, y, z)) \
    X(void, glReadPixels, (GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type, GLvoid* pixels), (x, y, width, height, format, type, pixels)) \
    X(GLint, glRenderMode, (GLenum mode), (mode)) \
    X(void, glRotatef, (GLfloat angle, GLfloat x, GLfloat y, GLfloat z), (angle, x, y, z)) \
    X(void, glScalef, (GLfloat x, GLfloat y, GLfloat z), (x, y, z)) \
    X(void, glSelectBuffer, (GLsizei size, GLuint* buffer), (size, buffer)) \
    X(void, glShadeModel, (GLenum mode), (mode)) \
    X(void, glStencilFunc, (GLenum func, GLint ref, GLuint mask), (func, ref, mask)) \
    X(void, glStencilOp, (GLenum fail, GLenum zfail, GLenum zpass), (fail, zfail, zpass)) \
    X(void, glTexCoord2f, (GLfloat s, GLfloat t), (s, t)) \
    X(void, glTexCoordPointer, (GLint size, GLenum type, GLsizei stride, const GLvoid* ptr), (size, type, stride, ptr)) \
    X(void, glTexGeni, (GLenum coord, GLenum pname, GLint param), (coord, pname, param)) \
    X(void, glTexImage2D, (GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height, GLint border, GLenum format, GLenum type, const GLvoid* pixels), (target, level, internalformat, width, height, border, format, type, pixels)) \
    X(void, glTexParameterf, (GLenum target, GLenum pname, GLfloat param), (target, pname, param)) \
    X(void, glTexParameteri, (GLenum target, GLenum pname, GLint param), (target, pname, param)) \
    X(void, glTranslatef, (GLfloat x, GLfloat y, GLfloat z), (x, y, z)) \
    X(void, glVertex2f, (GLfloat x, GLfloat y), (x, y)) \
    X(void, glVertex3f, (GLfloat x, GLfloat y, GLfloat z), (x, y, z)) \
    X(void, glVertexPointer, (GLint size, GLenum type, GLsizei stride, const GLvoid* ptr), (size, type, stride, ptr)) \
    X(void, glViewport, (GLint x, GLint y, GLsizei width, GLsizei height), (x, y, width, height))

// Extension entry points, bound through the window manager's loader once a
// context exists. Only this one is used; its caller tests it for 0.
#define GL_EXT_API_LIST(X) \
    X(void, glCompressedTexImage2DARB, (GLenum target, GLint level, GLenum internalformat, GLsizei width, GLsizei height, GLint border, GLsizei imageSize, const GLvoid* data), (target, level, internalformat, width, height, border, imageSize, data))

// The extension each of those belongs to: the loader answers for any name
// (libglvnd never says no), so a slot is only filled when the driver's
// extension string lists its extension. E(name, extension).
#define GL_EXT_REQUIRES(E) \
    E(glCompressedTexImage2DARB, "GL_ARB_texture_compression")

// GLU: the five the program calls, typed.
#define GLU_API_LIST(X) \
    X(GLint, gluBuild2DMipmaps, (GLenum target, GLint components, GLint width, GLint height, GLenum format, GLenum type, const void* data), (target, components, width, height, format, type, data)) \
    X(void, gluLookAt, (GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centerX, GLdouble centerY, GLdouble centerZ, GLdouble upX, GLdouble upY, GLdouble upZ), (eyeX, eyeY, eyeZ, centerX, centerY, centerZ, upX, upY, upZ)) \
    X(void, gluOrtho2D, (GLdouble left, GLdouble right, GLdouble bottom, GLdouble top), (left, right, bottom, top)) \
    X(void, gluPerspective, (GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar), (fovy, aspect, zNear, zFar)) \
    X(void, gluPickMatrix, (GLdouble x, GLdouble y, GLdouble width, GLdouble height, GLint* viewport), (x, y, width, height, viewport))

// The whole GLU table in binding order: T marks the five typed above, N the
// rest (looked up, never called). GLU_NAME_LIST(N, N) gives every name.
#define GLU_NAME_LIST(N, T) \
    T(gluLookAt) T(gluOrtho2D) T(gluPerspective) T(gluPickMatrix) N(gluProject) N(gluUnProject) \
    N(gluErrorString) N(gluScaleImage) N(gluBuild1DMipmaps) T(gluBuild2DMipmaps) N(gluNewQuadric) \
    N(gluDeleteQuadric) N(gluQuadricDrawStyle) N(gluQuadricOrientation) N(gluQuadricNormals) \
    N(gluQuadricTexture) N(gluQuadricCallback) N(gluCylinder) N(gluSphere) N(gluDisk) N(gluPartialDisk) \
    N(gluNewNurbsRenderer) N(gluDeleteNurbsRenderer) N(gluLoadSamplingMatrices) N(gluNurbsProperty) \
    N(gluGetNurbsProperty) N(gluBeginCurve) N(gluEndCurve) N(gluNurbsCurve) N(gluBeginSurface) \
    N(gluEndSurface) N(gluNurbsSurface) N(gluBeginTrim) N(gluEndTrim) N(gluPwlCurve) N(gluNurbsCallback) \
    N(gluNewTess) N(gluTessCallback) N(gluDeleteTess) N(gluBeginPolygon) N(gluEndPolygon) \
    N(gluNextContour) N(gluTessVertex) N(gluGetString)

// The GL 1.1 calls that put pixels into the frame or copy them out of it.
// Without them (glDrawNothing) a frame still sets every piece of GL state it
// sets when drawn: matrices, enables, the current colour, bound textures.
#define GL_DRAWING_LIST(X) X(glBegin) X(glEnd) X(glVertex2f) X(glVertex3f) X(glDrawElements) X(glClear) X(glCopyTexImage2D)
