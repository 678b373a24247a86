// Compiled into every test program that decodes through FFmpeg on its own threads.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
// FFmpeg is not built for ThreadSanitizer: its frame threads hand buffers over through atomics
// it cannot see, so the allocations and frees that FFmpeg makes on its own threads are left
// out. Every lock and wait of the filters themselves is still checked.
extern "C" const char* __tsan_default_suppressions()
{
    return "called_from_lib:libavutil.so\n"
           "called_from_lib:libavcodec.so\n"
           "called_from_lib:libswscale.so\n";
}
#endif
#endif
