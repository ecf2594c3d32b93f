<?php

// The PHP client against a real vistrel5 started in a temporary folder. The
// server programs come from $VISTREL_BUILD_DIR (default build-test/bin of the
// repository). Run: php clients/php/tests/client_test.php (exit status 0 = passed).

declare(strict_types=1);

spl_autoload_register(function (string $class): void {
    if (str_starts_with($class, 'Vistrel\\')) {
        require __DIR__ . '/../src/' . substr($class, 8) . '.php';
    }
});

use Vistrel\Client;
use Vistrel\ResultException;
use Vistrel\Size;
use Vistrel\TransportException;
use Vistrel\Wire;

$failures = 0;
function check(bool $ok, string $what): void
{
    global $failures;
    echo ($ok ? 'ok     ' : 'FAILED ') . $what . "\n";
    $failures += $ok ? 0 : 1;
}

/** Runs $call and checks that it throws $class with result code $code. */
function throwsCode(callable $call, string $class, int $code, string $what): void
{
    try {
        $call();
        check(false, "$what: nothing was thrown");
    } catch (Throwable $e) {
        check($e instanceof $class && $e->getCode() === $code, "$what (" . get_class($e) . ': ' . $e->getMessage() . ')');
    }
}

function freePort(): int
{
    $probe = stream_socket_server('tcp://127.0.0.1:0');
    $port = (int) substr(strrchr(stream_socket_get_name($probe, false), ':'), 1);
    fclose($probe);
    return $port;
}

function removeTree(string $dir): void
{
    exec('rm -rf ' . escapeshellarg($dir));
}

// --- the server -------------------------------------------------------------
$binDir = getenv('VISTREL_BUILD_DIR') ?: dirname(__DIR__, 3) . '/build-test/bin';
$home = sys_get_temp_dir() . '/vistrel-php-' . getmypid();
$work = "$home-work";
mkdir($home);
mkdir($work);
foreach (['vistrel5', 'vistrelremt'] as $name) {
    copy("$binDir/$name", "$home/$name") && chmod("$home/$name", 0755) or exit("no $binDir/$name\n");
}
$port = freePort();
file_put_contents("$home/vistrel5.ini", "[Server]\nPort=$port\nEngineWorkprocessCount=1\n");
$server = proc_open(["$home/vistrel5", '-debug'], [0 => ['pipe', 'r'], 1 => ['file', "$home/out.txt", 'w'], 2 => ['file', "$home/out.txt", 'a']], $pipes, $home);
register_shutdown_function(function () use ($server, $pipes, $home, $work): void {
    proc_terminate($server, 15);
    while (proc_get_status($server)['running']) {
        usleep(50000);
    }
    fclose($pipes[0]);
    removeTree($home);
    removeTree($work);
});
for ($i = 0; $i < 600 && !($probe = @stream_socket_client("tcp://127.0.0.1:$port", $errno, $errstr, 1)); $i++) {
    proc_get_status($server)['running'] or exit("vistrel5 exited\n");
    usleep(50000);
}
$probe or exit("vistrel5 does not listen on $port\n");
fclose($probe);

// The source photo is drawn by the server itself.
$source = "$work/blue.jpg";
$client = new Client(port: $port);
$s = $client->session();
$s->blank('canvas', 640, 480, '336699');
check($s->script('canvas', "cmd=encode&path=$source") === $source && is_file($source), 'the server draws the source photo');
$s->close();

// --- GET --------------------------------------------------------------------
$first = $client->get($source, 'cmd=thumb&w=100');
check(is_file($first), 'get answers the path of a result file');
check($client->get($source, 'cmd=thumb&w=100') === $first, 'the same get is answered from the cache');
check($client->get($source, 'cmd=thumb&w=100', codePage: 65001) === $first, 'get in code page 65001');
foreach ([["$work/missing.jpg", 'cmd=thumb&w=100', 102], [$source, 'w=100', 105], [$source, 'cmd=nosuchfile', 103]] as [$path, $command, $code]) {
    throwsCode(fn () => $client->get($path, $command), ResultException::class, $code, "get $command answers $code");
}
try {
    $client->get("$work/missing.jpg", 'cmd=thumb');
} catch (ResultException $e) {
    check($e->code === 102 && $e->meaning === Wire::meaning(102) && str_starts_with($e->getMessage(), 'GET failed: 102'), 'the exception carries ->code and ->meaning');
}

// --- EXEC -------------------------------------------------------------------
$data = file_get_contents($source);
$png = $client->exec(['cmd=resize&w=100', 'cmd=encode&format=png'], data: $data);
check(is_string($png) && str_starts_with($png, "\x89PNG"), 'exec answers encoded bytes');
$size = $client->exec('cmd=_getmetric_&info=v1', file: $source);
check($size instanceof Size && $size->width === 640 && $size->height === 480, 'exec answers a size');
check($client->exec(['cmd=resize&w=64', "cmd=encode&path=$work/small.png"], data: $data) === "$work/small.png" && is_file("$work/small.png"), 'exec writes a file and answers its path');
check($client->exec('cmd=resize&w=64', data: $data) === null, 'a script without output answers nothing');
throwsCode(fn () => $client->exec('cmd=encode', data: 'not an image'), ResultException::class, 213, 'bytes of no image format answer 213');

// --- EXEC2 ------------------------------------------------------------------
$s = $client->session();
$size = $s->load('a', $source);
check($size->width === 640 && $size->height === 480, 'exec2 load answers the size');
$size = $s->script('a', 'cmd=resize&w=100&h=75');
check($size instanceof Size && $size->width === 100 && $size->height === 75, 'exec2 script answers the new size');
$jpeg = $s->script('a', 'cmd=encode&format=jpg&quality=80');
check(is_string($jpeg) && str_starts_with($jpeg, "\xff\xd8"), 'exec2 encode answers JPEG bytes');
check($s->loadBytes('b', $data)->width === 640 && $s->metadata('b', 0x010F) === '', 'exec2 load bytes and metadata');
$s->setFlags('b', Client::KEEP_PRISTINE);
$s->clearFlags('b', Client::KEEP_PRISTINE);
$s->release('b');
throwsCode(fn () => $s->script('b', 'cmd=resize&w=10'), ResultException::class, 102, 'a released image answers 102');
$s->close();
$other = $client->session();
throwsCode(fn () => $other->script('a', 'cmd=resize&w=10'), ResultException::class, 102, 'a new session has no image "a"');
$other->close();

// --- transport --------------------------------------------------------------
$dead = new Client(port: freePort(), timeout: 5);
throwsCode(fn () => $dead->get($source, 'cmd=thumb'), TransportException::class, 111, 'a port nobody listens on is refused');

echo $failures === 0 ? "all passed\n" : "$failures failed\n";
exit($failures === 0 ? 0 : 1);
