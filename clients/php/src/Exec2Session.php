<?php

declare(strict_types=1);

namespace Vistrel;

/**
 * Named images on one connection: what is loaded under a name in one call is
 * there for the next. The images go when the session closes (or is
 * destroyed). Nothing is retried: a lost connection loses the images, and
 * the session throws TransportException from then on.
 */
final class Exec2Session
{
    private ?Connection $conn = null;
    private bool $closed = false;

    public function __construct(private Client $client)
    {
    }

    public function close(): void
    {
        $this->conn?->close();
        $this->conn = null;
        $this->closed = true;
    }

    /** Loads an image file on the server's machine. */
    public function load(string $name, string $path): Size
    {
        return $this->size(Wire::KIND_LOAD_FILE, $name, Wire::utf16z($path));
    }

    /** Loads an encoded image (JPEG, PNG, GIF, TIFF, WebP, BMP). */
    public function loadBytes(string $name, string $data): Size
    {
        return $this->size(Wire::KIND_LOAD_BYTES, $name, $data);
    }

    /** Captures a web page (`$options`: rwait, width, height). */
    public function capture(string $name, string $url, string $options = ''): Size
    {
        return $this->size(Wire::KIND_CAPTURE, $name, Wire::utf16z($url), $options);
    }

    /** Creates a canvas filled with RRGGBB or AARRGGBB. */
    public function blank(string $name, int $width, int $height, string $colour = 'FFFFFF'): Size
    {
        return $this->size(Wire::KIND_BLANK, $name, pack('VV', $width, $height) . Wire::utf16z($colour));
    }

    /**
     * Runs photo commands on the image: the new Size, or an `encode` line's
     * bytes or written path.
     * @param string|list<string> $script
     */
    public function script(string $name, string|array $script): string|Size|null
    {
        return $this->step(Wire::KIND_SCRIPT, $name, '', Client::scriptText($script));
    }

    /** An EXIF tag of the image as text ('' when absent). */
    public function metadata(string $name, int $tag): string
    {
        return (string) $this->step(Wire::KIND_METADATA, $name, pack('V', $tag));
    }

    /** Frees the image's picture; the name stays, empty. */
    public function release(string $name): void
    {
        $this->step(Wire::KIND_RELEASE, $name, '');
    }

    /** Sets image flags (Client::KEEP_PRISTINE). */
    public function setFlags(string $name, int $bits): void
    {
        $this->step(Wire::KIND_SET_FLAGS, $name, pack('V', $bits));
    }

    /** Clears image flags. */
    public function clearFlags(string $name, int $bits): void
    {
        $this->step(Wire::KIND_CLEAR_FLAGS, $name, pack('V', $bits));
    }

    private function size(int $kind, string $name, string $data, string $textA = ''): Size
    {
        $answer = $this->step($kind, $name, $data, $textA);
        if (!$answer instanceof Size) {
            throw new ProtocolException('the answer is not a size');
        }
        return $answer;
    }

    private function step(int $kind, string $name, string $data, string $textA = ''): string|Size|null
    {
        if ($this->closed) {
            throw new TransportException('the EXEC2 session is closed');
        }
        try {
            $this->conn ??= $this->client->connect();
            [$status, $payload] = $this->conn->exchange(Wire::kindFrame('EXEC2', $kind, $data, $textA, $name));
        } catch (RetryableTransport $e) {
            $this->close();
            throw $e->toPublic();
        } catch (TransportException | ProtocolException $e) {
            $this->close();
            throw $e;
        }
        return Client::typed('EXEC2', $status, $payload);
    }
}
