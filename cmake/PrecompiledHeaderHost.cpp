// The one source file of a target that exists to build a precompiled
// header (see KestrelBuild.cmake).
