#include "ConnectionIcon.h"

#include <UlkImages.h>

const char* const ConnectionIcon::connected_png = ulkimages::connected_png;
const int ConnectionIcon::connected_pngSize = ulkimages::connected_pngSize;
const char* const ConnectionIcon::disconnected_png = ulkimages::disconnected_png;
const int ConnectionIcon::disconnected_pngSize = ulkimages::disconnected_pngSize;

ConnectionIcon::ConnectionIcon()
{
    setSize (600, 400);

    connectedImage = juce::ImageCache::getFromMemory (connected_png, connected_pngSize);
    disconnectedImage = juce::ImageCache::getFromMemory (disconnected_png, disconnected_pngSize);
}

ConnectionIcon::~ConnectionIcon()
{
    // Give the cache its pictures back in the order they were taken.
    connectedImage = juce::Image();
    disconnectedImage = juce::Image();
}

void ConnectionIcon::enablementChanged()
{
    // Swap the picture at once.
    repaint();
}

void ConnectionIcon::paint (juce::Graphics& g)
{
    const auto& image = isEnabled() ? connectedImage : disconnectedImage;

    // A picture that failed to decode draws nothing.
    if (!image.isValid())
        return;

    const int w = image.getWidth();
    const int h = image.getHeight();
    g.drawImage (image, 0, 0, w, h, 0, 0, w, h, false);
}

void ConnectionIcon::resized() {}
