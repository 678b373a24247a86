/* Preloaded into ffplay by the engine benchmark: ends the program at the moment its first
 * picture is presented, so that the time from starting ffplay to its exit is the time to its
 * first picture. A picture counts once a texture has been filled from a decoded frame and the
 * renderer presents it; presents before that (a cleared window) do not. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <unistd.h>

typedef int (*UpdateYuv)(void*, const void*, const unsigned char*, int, const unsigned char*, int,
                         const unsigned char*, int);
typedef int (*UpdateTexture)(void*, const void*, const void*, int);
typedef void (*Present)(void*);

static int g_filled;

int SDL_UpdateYUVTexture(void* texture, const void* rect, const unsigned char* y, int yPitch,
                         const unsigned char* u, int uPitch, const unsigned char* v, int vPitch)
{
    static UpdateYuv next;
    if (!next)
        next = (UpdateYuv)dlsym(RTLD_NEXT, "SDL_UpdateYUVTexture");
    g_filled = 1;
    return next ? next(texture, rect, y, yPitch, u, uPitch, v, vPitch) : -1;
}

int SDL_UpdateTexture(void* texture, const void* rect, const void* pixels, int pitch)
{
    static UpdateTexture next;
    if (!next)
        next = (UpdateTexture)dlsym(RTLD_NEXT, "SDL_UpdateTexture");
    g_filled = 1;
    return next ? next(texture, rect, pixels, pitch) : -1;
}

void SDL_RenderPresent(void* renderer)
{
    static Present next;
    if (!next)
        next = (Present)dlsym(RTLD_NEXT, "SDL_RenderPresent");
    if (next)
        next(renderer);
    if (g_filled)
        _exit(0);
}
